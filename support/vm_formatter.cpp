// SPDX-License-Identifier: Apache-2.0
#include "support/vm_formatter.h"

#include <cmath>
#include <string>

#include "support/vm_trace.h"

namespace velmora {
namespace {

// Digits and floating-point text are built here, never on the heap.
constexpr std::size_t kScratchSize = 32;
// Floating-point text longer than this is cut.
constexpr std::size_t kMaxFloatText = 31;
// The single-precision value nearest to 9e18: below it the integer part of a
// value always fits a signed 64-bit integer.
constexpr double kFloatLimit = 9.000000202358129e18;
// Fraction digits beyond this would overflow the 64-bit integer that holds
// them; further digits are written as zeros.
constexpr std::uint32_t kMaxFractionDigits = 18;

// The module trace tag that starts every diagnostic; this system has none.
constexpr char kTraceTag[32] = "";

enum class Problem {
  ClosingBracket,
  ConversionFailed,
  NoArgument,
  InvalidIndex,
  UnsupportedSpec,
  IncompleteSpec,
  UnexpectedCharacter,
  MoreArguments,
  MissingClosingBracket,
};

struct ProblemText {
  const char* Text;
  bool HasValue;  // the message takes a number before the argument count
};

constexpr ProblemText kProblems[] = {
    {"%s: WARNING: %s: Discarding unexpected closing bracket }. FormatString follows, %u arguments.\n", false},
    {"%s: ERROR: %s: Conversion of argument %u failed. FormatString follows, %u arguments.\n", true},
    {"%s: ERROR: %s: No argument for {} replacement field. FormatString follows, %u arguments.\n", false},
    {"%s: ERROR: %s: Index=%u is an invalid argument index. FormatString follows, %u arguments.\n", true},
    {"%s: WARNING: %s: Ignoring unsupported format specifier %d. FormatString follows, %u arguments.\n", true},
    {"%s: ERROR: %s: Incomplete format item. FormatString follows, %u arguments.\n", false},
    {"%s: WARNING: %s: Ignoring unexpected character %d within {} replacement field. FormatString follows, %u "
     "arguments.\n",
     true},
    {"%s: ERROR: %s: More arguments than {} replacement fields. FormatString follows, %u arguments.\n", false},
    {"%s: ERROR: %s: Missing closing bracket }. FormatString follows, %u arguments.\n", false},
};

template <typename Char>
bool IsSpace(Char c) {
  return c == ' ' || (c >= 9 && c <= 13);
}

template <typename Char>
bool IsDigit(Char c) {
  return c >= '0' && c <= '9';
}

template <typename Char>
bool IsAlignment(Char c) {
  return c == '<' || c == '=' || c == '>' || c == '^';
}

// A character of the format string as FormatSpec stores it (narrow).
template <typename Char>
char SpecChar(Char c) {
  if constexpr (sizeof(Char) == 1) {
    return c;
  } else {
    return static_cast<std::uint16_t>(c) < 256 ? static_cast<char>(c) : '?';
  }
}

// The code a diagnostic reports for a character: the signed byte of narrow
// text, the unsigned unit of wide text.
template <typename Char>
std::uint32_t CharCode(Char c) {
  if constexpr (sizeof(Char) == 1) {
    return static_cast<std::uint32_t>(static_cast<int>(static_cast<signed char>(c)));
  } else {
    return static_cast<std::uint16_t>(c);
  }
}

// A source unit as the formatter's character: bytes widen by their unsigned
// value; 16-bit units that narrow text cannot hold become "?".
template <typename Char, typename Unit>
Char ToChar(Unit u) {
  if constexpr (sizeof(Unit) == 1) {
    return static_cast<Char>(static_cast<unsigned char>(u));
  } else if constexpr (sizeof(Char) == 1) {
    return static_cast<std::uint16_t>(u) < 256 ? static_cast<Char>(u) : '?';
  } else {
    return static_cast<Char>(u);
  }
}

enum class SpecResult { Ok, Incomplete, Unsupported };

// Parses a specifier from `p` (the character after ":"), advancing `p` past
// what it consumed.
template <typename Char>
SpecResult ParseSpec(const Char*& p, FormatSpec& spec) {
  if (p[0] != 0 && IsAlignment(p[1])) {
    spec.Fill = SpecChar(p[0]);
    spec.Alignment = static_cast<char>(p[1]);
    p += 2;
  } else if (IsAlignment(*p)) {
    spec.Fill = ' ';
    spec.Alignment = static_cast<char>(*p++);
  }
  if (*p == ' ' || *p == '+' || *p == '-') spec.Sign = static_cast<char>(*p++);
  if (*p == '#') {
    spec.Flags |= format_flags::Alternate;
    ++p;
  }
  if (*p == '0') {
    if (spec.Alignment == 0) {
      spec.Fill = '0';
      spec.Alignment = '=';
    }
    ++p;
  }
  while (IsDigit(*p)) spec.Width = static_cast<std::uint16_t>(spec.Width * 10 + (*p++ - '0'));
  if (*p == '\'' || *p == ',' || *p == '_') spec.Separator = static_cast<char>(*p++);
  if (*p == '.') {
    ++p;
    spec.Flags |= format_flags::Precision;
    spec.Precision = 0;
    while (IsDigit(*p)) spec.Precision = static_cast<std::uint16_t>(spec.Precision * 10 + (*p++ - '0'));
  }

  const Char type = *p;
  if (type == 0) return SpecResult::Incomplete;
  if (type == '}' || IsSpace(type)) return SpecResult::Ok;
  ++p;
  switch (type) {
    case 'x':
    case 'X':
      spec.Flags |= format_flags::Hex;
      if (type == 'X') spec.Flags |= format_flags::UpperCase;
      if (spec.Flags & format_flags::Alternate) spec.Flags |= format_flags::FullWidth;
      break;
    case 'd':
    case 'n':
      spec.Flags &= static_cast<std::uint16_t>(~format_flags::Hex);
      break;
    case 'c':
      spec.Flags |= format_flags::Character;
      break;
    case 's':
    case 'e':
    case 'f':
    case 'g':
    case 'E':
    case 'F':
    case 'G':
      break;
    default:
      return SpecResult::Unsupported;
  }
  return *p == 0 ? SpecResult::Incomplete : SpecResult::Ok;
}

// Writes `value` in decimal so that it ends at `end`, with `separator`
// between groups of three digits; returns the first character.
char* DecimalDigits(std::uint64_t value, char separator, char* end) {
  char* p = end;
  int digits = 0;
  do {
    if (separator != 0 && digits > 0 && digits % 3 == 0) *--p = separator;
    *--p = static_cast<char>('0' + value % 10);
    value /= 10;
    ++digits;
  } while (value != 0);
  return p;
}

char* HexDigits(std::uint64_t value, unsigned byteWidth, const FormatSpec& spec, char* end) {
  const char* set = (spec.Flags & format_flags::UpperCase) ? "0123456789ABCDEF" : "0123456789abcdef";
  const unsigned minDigits = (spec.Flags & format_flags::FullWidth) ? 2 * byteWidth : 1;
  const unsigned group = byteWidth < 4 ? 4 : byteWidth;
  char* p = end;
  unsigned digits = 0;
  do {
    if (spec.Separator != 0 && digits > 0 && digits % group == 0) *--p = spec.Separator;
    *--p = set[value & 0xF];
    value >>= 4;
    ++digits;
  } while (value != 0 || digits < minDigits);
  if (spec.Flags & format_flags::Alternate) {
    *--p = 'x';
    *--p = '0';
  }
  return p;
}

// Writes one diagnostic of `function`: the message, then the format string
// it concerns.
template <typename Char>
void Diagnose(const char* function, Problem problem, const Char* format, std::uint32_t count, std::uint32_t value) {
  const ProblemText& text = kProblems[static_cast<int>(problem)];
  if (text.HasValue) {
    VMTrace(text.Text, kTraceTag, function, value, count);
  } else {
    VMTrace(text.Text, kTraceTag, function, count);
  }
  if constexpr (sizeof(Char) == 1) {
    VMTrace("%s\n", format);
  } else {
    VMTrace("%S\n", format);
  }
}

}  // namespace

template <typename Char>
void VMFormatterImplT<Char>::PutFill(char fill, std::uint32_t count) {
  for (; count > 0; --count) PutNarrow(fill != 0 ? fill : ' ');
}

template <typename Char>
template <typename Unit>
void VMFormatterImplT<Char>::PutPadded(const Unit* text, std::uint32_t length, const FormatSpec& spec) {
  const std::uint32_t pad = spec.Width > length ? spec.Width - length : 0;
  std::uint32_t before = pad;
  if (spec.Alignment == '<') before = 0;
  if (spec.Alignment == '^') before = pad / 2;
  PutFill(spec.Fill, before);
  for (std::uint32_t i = 0; i < length; ++i) Put(ToChar<Char>(text[i]));
  PutFill(spec.Fill, pad - before);
}

template <typename Char>
template <typename Unit>
std::int32_t VMFormatterImplT<Char>::ConvertString(const Unit* text, const FormatSpec& spec) {
  if (text == nullptr) {
    PutRawString("<<nullptr>>");
    return 0;
  }
  std::uint32_t length = 0;
  while (text[length] != 0) ++length;
  PutPadded(text, length, spec);
  return 0;
}

template <typename Char>
std::int32_t VMFormatterImplT<Char>::ConvertString16(const wchar_t* text, const FormatSpec& spec) {
  return ConvertString(text, spec);
}

template <typename Char>
std::int32_t VMFormatterImplT<Char>::ConvertString16B(const char16_t* text, const FormatSpec& spec) {
  return ConvertString(text, spec);
}

template <typename Char>
std::int32_t VMFormatterImplT<Char>::ConvertNarrowString(const char* text, const FormatSpec& spec) {
  return ConvertString(text, spec);
}

template <typename Char>
void VMFormatterImplT<Char>::PutRawString(const char* text) {
  if (text == nullptr) return;
  while (*text != 0) PutNarrow(*text++);
}

template <typename Char>
void VMFormatterImplT<Char>::PutRawChar(char c) {
  PutNarrow(c);
}

template <typename Char>
std::int32_t VMFormatterImplT<Char>::ConvertInteger(const FormatInteger& value, const FormatSpec& spec) {
  std::uint64_t bits = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(value.High)) << 32) | value.Low;
  const unsigned byteWidth = value.ByteWidth == 0 || value.ByteWidth > 8 ? 8 : value.ByteWidth;
  char scratch[kScratchSize];
  char* const end = scratch + kScratchSize;
  char* digits = nullptr;
  char sign = 0;
  if (spec.Flags & format_flags::Hex) {
    if (byteWidth < 8) bits &= (std::uint64_t{1} << (8 * byteWidth)) - 1;
    digits = HexDigits(bits, byteWidth, spec, end);
  } else {
    const bool negative = value.Signed != 0 && static_cast<std::int64_t>(bits) < 0;
    if (negative) {
      sign = '-';
      bits = 0 - bits;
    } else if (spec.Sign == '+' || spec.Sign == ' ') {
      sign = spec.Sign;
    }
    digits = DecimalDigits(bits, spec.Separator, end);
  }

  const auto length = static_cast<std::uint32_t>(end - digits) + (sign != 0 ? 1 : 0);
  const std::uint32_t pad = spec.Width > length ? spec.Width - length : 0;
  const auto putSign = [&] {
    if (sign != 0) PutNarrow(sign);
  };
  const auto putDigits = [&] {
    for (const char* p = digits; p != end; ++p) PutNarrow(*p);
  };
  switch (spec.Alignment) {
    case '<':
      putSign();
      putDigits();
      PutFill(spec.Fill, pad);
      break;
    case '=':
      putSign();
      PutFill(spec.Fill, pad);
      putDigits();
      break;
    case '^':
      PutFill(spec.Fill, pad / 2);
      putSign();
      putDigits();
      PutFill(spec.Fill, pad - pad / 2);
      break;
    default:
      PutFill(spec.Fill, pad);
      putSign();
      putDigits();
      break;
  }
  return 0;
}

template <typename Char>
template <typename Float>
std::int32_t VMFormatterImplT<Char>::ConvertFloating(Float value, bool isNan, bool isInf, const FormatSpec& spec) {
  char text[kScratchSize];
  std::uint32_t length = 0;
  const auto append = [&](const char* from, const char* to) {
    for (; from != to && length < kMaxFloatText; ++from) text[length++] = *from;
  };
  const auto appendText = [&](const char* s) {
    while (*s != 0 && length < kMaxFloatText) text[length++] = *s++;
  };

  if (isNan) {
    appendText("nan");
  } else if (isInf) {
    appendText(value < 0 ? "-inf" : "inf");
  } else if ((value < 0 ? -value : value) > static_cast<Float>(kFloatLimit)) {
    appendText("<<overflow>>");
  } else {
    if (value < 0) appendText("-");
    const Float magnitude = value < 0 ? -value : value;
    auto integer = static_cast<std::uint64_t>(static_cast<std::int64_t>(magnitude));
    const std::uint32_t wanted = (spec.Flags & format_flags::Precision) ? spec.Precision : 6;
    const bool withFraction = !((spec.Flags & format_flags::Precision) && spec.Precision == 0);

    const std::uint32_t digitCount = wanted < kMaxFractionDigits ? wanted : kMaxFractionDigits;
    std::uint64_t fraction = 0;
    if (withFraction) {
      Float scaled = magnitude - static_cast<Float>(static_cast<std::int64_t>(integer));
      std::uint64_t limit = 1;
      for (std::uint32_t i = 0; i < digitCount / 3; ++i) {
        scaled *= static_cast<Float>(1000);
        limit *= 1000;
      }
      for (std::uint32_t i = 0; i < digitCount % 3; ++i) {
        scaled *= static_cast<Float>(10);
        limit *= 10;
      }
      fraction = static_cast<std::uint64_t>(static_cast<std::int64_t>(scaled));
      if (scaled - static_cast<Float>(static_cast<std::int64_t>(fraction)) >= static_cast<Float>(0.5)) ++fraction;
      // Rounding up 0.9999999 carries into the integer part, so the fraction
      // keeps its number of digits.
      if (fraction >= limit) {
        fraction -= limit;
        ++integer;
      }
    }

    char scratch[kScratchSize];
    char* const end = scratch + kScratchSize;
    append(DecimalDigits(integer, spec.Separator, end), end);
    if (withFraction) {
      appendText(".");
      char* digits = DecimalDigits(fraction, 0, end);
      while (end - digits < static_cast<std::ptrdiff_t>(digitCount)) *--digits = '0';
      append(digits, end);
      for (std::uint32_t i = digitCount; i < wanted && length < kMaxFloatText; ++i) text[length++] = '0';
    }
  }
  PutPadded(text, length, spec);
  return 0;
}

template <typename Char>
std::int32_t VMFormatterImplT<Char>::ConvertLongDouble(long double value, const FormatSpec& spec) {
  return ConvertFloating(static_cast<double>(value), std::isnan(value), std::isinf(value), spec);
}

template <typename Char>
std::int32_t VMFormatterImplT<Char>::ConvertDouble(double value, const FormatSpec& spec) {
  return ConvertFloating(value, std::isnan(value), std::isinf(value), spec);
}

template <typename Char>
std::int32_t VMFormatterImplT<Char>::ConvertFloat(float value, const FormatSpec& spec) {
  return ConvertFloating(value, std::isnan(value), std::isinf(value), spec);
}

template <typename Char>
std::uint32_t VMFormatterT<Char>::FormatArgs(const Char* format, const FormatArg* args, std::uint32_t count) {
  const char* const function = __func__;
  const auto report = [&](Problem problem, std::uint32_t value = 0) {
    Diagnose(function, problem, format, count, value);
  };

  FormatContext context{this, {}};
  std::uint32_t index = 0;
  std::uint32_t used = 0;  // highest index used plus one
  bool inField = false;
  bool prepared = false;
  const Char empty[1] = {0};
  const Char* p = format != nullptr ? format : empty;
  while (*p != 0) {
    if (!inField) {
      if ((p[0] == '{' && p[1] == '{') || (p[0] == '}' && p[1] == '}')) {
        this->Put(p[0]);
        p += 2;
      } else if (*p == '{') {
        context.Spec = {};
        prepared = false;
        inField = true;
        ++p;
      } else if (*p == '}') {
        report(Problem::ClosingBracket);
        ++p;
      } else {
        this->Put(*p++);
      }
      continue;
    }

    if (IsSpace(*p)) {
      ++p;
    } else if (*p == '}') {
      ++p;
      inField = false;
      if (index < count) {
        const FormatArg& arg = args[index];
        if (arg.Convert == nullptr) {
          report(Problem::ConversionFailed, index);
        } else {
          if (!prepared) {
            (void)arg.Convert(&context, nullptr);
            prepared = true;
          }
          if (arg.Convert(&context, arg.Value) != 0) report(Problem::ConversionFailed, index);
        }
        ++index;
        if (used < index) used = index;
      } else {
        report(Problem::NoArgument);
      }
    } else if (IsDigit(*p)) {
      // An index too large for 32 bits stays at the largest value, which no
      // argument count reaches: wrapped around, it could name a valid one.
      constexpr std::uint32_t kLargest = 0xFFFFFFFF;
      std::uint32_t explicitIndex = 0;
      while (IsDigit(*p)) {
        const auto digit = static_cast<std::uint32_t>(*p++ - '0');
        explicitIndex = explicitIndex > (kLargest - digit) / 10 ? kLargest : explicitIndex * 10 + digit;
      }
      if (explicitIndex < count) {
        index = explicitIndex;
      } else {
        report(Problem::InvalidIndex, explicitIndex);
      }
    } else if (*p == ':') {
      if (index < count && !prepared && args[index].Convert != nullptr) {
        (void)args[index].Convert(&context, nullptr);
        prepared = true;
      }
      ++p;
      if (*p != '}') {
        const SpecResult result = ParseSpec(p, context.Spec);
        if (result == SpecResult::Unsupported) report(Problem::UnsupportedSpec, CharCode(p[-1]));
        if (result == SpecResult::Incomplete) report(Problem::IncompleteSpec);
      }
    } else {
      report(Problem::UnexpectedCharacter, CharCode(*p));
      ++p;
    }
  }

  if (this->WritePosition != nullptr) *this->WritePosition = 0;
  if (used < count) report(Problem::MoreArguments);
  if (inField) report(Problem::MissingClosingBracket);
  return this->CharacterCount;
}

template <typename Char>
std::basic_string<Char> VMFormatArgsToString(const Char* format, const FormatArg* args, std::uint32_t count) {
  VMFormatterT<Char> formatter;
  const std::uint32_t length = formatter.FormatArgs(format, args, count);
  std::basic_string<Char> text;
  if (length == 0) return text;
  text.resize(length);
  // The terminator that the second pass stores lands on the string's own.
  formatter.WritePosition = text.data();
  formatter.BufferEnd = text.data() + length;
  formatter.CharacterCount = 0;
  (void)formatter.FormatArgs(format, args, count);
  return text;
}

std::int32_t ConvertArgInt(FormatContext* context, const void* value) {
  if (value == nullptr) return 0;
  const int number = *static_cast<const int*>(value);
  const FormatSpec& spec = context->Spec;
  if (spec.Flags & format_flags::Character) {
    if (number == 0) return context->Formatter->ConvertNarrowString("NUL", spec);
    // Control characters and bytes above 0x7F are not printable on their own.
    const auto byte = static_cast<signed char>(number & 0xFF);
    const char text[2] = {byte >= 32 ? static_cast<char>(byte) : '?', 0};
    return context->Formatter->ConvertNarrowString(text, spec);
  }
  const FormatInteger integer{static_cast<std::uint32_t>(number), number < 0 ? -1 : 0, 4, 1};
  return context->Formatter->ConvertInteger(integer, spec);
}

std::int32_t ConvertArgString(FormatContext* context, const void* value) {
  if (value == nullptr) return 0;
  return context->Formatter->ConvertNarrowString(static_cast<const std::string*>(value)->c_str(), context->Spec);
}

std::int32_t ConvertArgWString(FormatContext* context, const void* value) {
  if (value == nullptr) return 0;
  return context->Formatter->ConvertString16(static_cast<const std::wstring*>(value)->c_str(), context->Spec);
}

std::int32_t ConvertArgWideCString(FormatContext* context, const void* value) {
  if (value == nullptr) return 0;
  return context->Formatter->ConvertString16(*static_cast<const wchar_t* const*>(value), context->Spec);
}

template class VMFormatterImplT<char>;
template class VMFormatterImplT<wchar_t>;
template class VMFormatterT<char>;
template class VMFormatterT<wchar_t>;
template std::string VMFormatArgsToString(const char*, const FormatArg*, std::uint32_t);
template std::wstring VMFormatArgsToString(const wchar_t*, const FormatArg*, std::uint32_t);

}  // namespace velmora
