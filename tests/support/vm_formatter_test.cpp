// SPDX-License-Identifier: Apache-2.0
// The {} formatter in both widths: output, returned length, diagnostics, and
// that it never writes past the buffer it was given.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "support/vm_trace.h"
#include "support/vm_formatter.h"

namespace {

using velmora::FormatArg;
using velmora::FormatContext;
using velmora::VMFormatterT;

// Collects the debugger lines while a test runs.
std::vector<std::string> g_lines;
void CaptureLine(const char* text) { g_lines.emplace_back(text); }

class Formatter : public ::testing::Test {
 protected:
  void SetUp() override {
    g_lines.clear();
    previous_ = velmora::VMSetTraceSink(&CaptureLine);
  }
  void TearDown() override { velmora::VMSetTraceSink(previous_); }

  // The message lines (every diagnostic is followed by its format string).
  static std::vector<std::string> Messages() {
    std::vector<std::string> messages;
    for (std::size_t i = 0; i < g_lines.size(); i += 2) messages.push_back(g_lines[i]);
    return messages;
  }

 private:
  velmora::VMTraceSink previous_ = nullptr;
};

// Argument kinds beyond the four built-in ones, as a program would add them.
std::int32_t ConvertTestDouble(FormatContext* c, const void* v) {
  return v ? c->Formatter->ConvertDouble(*static_cast<const double*>(v), c->Spec) : 0;
}
std::int32_t ConvertTestFloat(FormatContext* c, const void* v) {
  return v ? c->Formatter->ConvertFloat(*static_cast<const float*>(v), c->Spec) : 0;
}
std::int32_t ConvertTestLongDouble(FormatContext* c, const void* v) {
  return v ? c->Formatter->ConvertLongDouble(*static_cast<const long double*>(v), c->Spec) : 0;
}
std::int32_t ConvertTestInt64(FormatContext* c, const void* v) {
  if (v == nullptr) return 0;
  const auto value = *static_cast<const long long*>(v);
  const auto bits = static_cast<unsigned long long>(value);
  return c->Formatter->ConvertInteger(
      {static_cast<std::uint32_t>(bits), static_cast<std::int32_t>(bits >> 32), 8, 1}, c->Spec);
}
std::int32_t ConvertTestInt8(FormatContext* c, const void* v) {
  if (v == nullptr) return 0;
  const int value = *static_cast<const signed char*>(v);
  return c->Formatter->ConvertInteger({static_cast<std::uint32_t>(value), value < 0 ? -1 : 0, 1, 1}, c->Spec);
}
std::int32_t ConvertTestFailing(FormatContext*, const void* v) { return v ? 5 : 0; }

// One argument of a table row; it owns the value that FormatArg points to.
struct Arg {
  enum Kind { Int, String, WString, WideCString, Double, Float, LongDouble, Int64, Int8, Failing } kind = Int;
  int i = 0;
  std::string s = {};
  std::wstring w = {};
  const wchar_t* p = nullptr;
  double d = 0;
  float f = 0;
  long double ld = 0;
  long long ll = 0;
  signed char i8 = 0;

  FormatArg Make() const {
    switch (kind) {
      case Int: return velmora::MakeFormatArg(i);
      case String: return velmora::MakeFormatArg(s);
      case WString: return velmora::MakeFormatArg(w);
      case WideCString: return velmora::MakeFormatArg(p);
      case Double: return {&d, &ConvertTestDouble};
      case Float: return {&f, &ConvertTestFloat};
      case LongDouble: return {&ld, &ConvertTestLongDouble};
      case Int64: return {&ll, &ConvertTestInt64};
      case Int8: return {&i8, &ConvertTestInt8};
      case Failing: return {&i, &ConvertTestFailing};
    }
    return {};
  }
};
Arg I(int v) { return {.kind = Arg::Int, .i = v}; }
Arg S(std::string v) { return {.kind = Arg::String, .s = std::move(v)}; }
Arg W(std::wstring v) { return {.kind = Arg::WString, .w = std::move(v)}; }
Arg P(const wchar_t* v) { return {.kind = Arg::WideCString, .p = v}; }
Arg D(double v) { return {.kind = Arg::Double, .d = v}; }
Arg F(float v) { return {.kind = Arg::Float, .f = v}; }
Arg LD(long double v) { return {.kind = Arg::LongDouble, .ld = v}; }
Arg I64(long long v) { return {.kind = Arg::Int64, .ll = v}; }
Arg I8(signed char v) { return {.kind = Arg::Int8, .i8 = v}; }
Arg Fail() { return {.kind = Arg::Failing}; }

std::vector<FormatArg> MakeArgs(const std::vector<Arg>& args) {
  std::vector<FormatArg> list;
  for (const Arg& a : args) list.push_back(a.Make());
  return list;
}

// Byte by byte, as the wide formatter widens narrow text.
std::wstring Widen(const std::string& text) {
  std::wstring wide;
  for (char c : text) wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  return wide;
}

template <typename Char>
std::basic_string<Char> FormatString(const std::string& format);
template <>
std::string FormatString<char>(const std::string& format) {
  return format;
}
template <>
std::wstring FormatString<wchar_t>(const std::string& format) {
  return Widen(format);
}

// Formats in one pass into a roomy buffer; returns the text and the count.
template <typename Char>
std::basic_string<Char> FormatOnce(const std::basic_string<Char>& format, const std::vector<FormatArg>& args,
                                   std::uint32_t& count) {
  Char buffer[512];
  VMFormatterT<Char> formatter;
  formatter.WritePosition = buffer;
  formatter.BufferEnd = buffer + 511;
  count = formatter.FormatArgs(format.c_str(), args.data(), static_cast<std::uint32_t>(args.size()));
  return std::basic_string<Char>(buffer, formatter.WritePosition);
}

struct Row {
  const char* Name = "";
  std::string Format;
  std::vector<Arg> Args = {};
  std::string Expected;
  // Fragments of the expected diagnostics, in order.
  std::vector<std::string> Diagnostics = {};
};

const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = {
      {.Name = "escaped brackets", .Format = "{{}}", .Expected = "{}"},
      {.Name = "escaped around a field", .Format = "{{{}}}", .Args = {I(5)}, .Expected = "{5}"},
      {.Name = "stray closing bracket inside",
       .Format = "a}b",
       .Expected = "ab",
       .Diagnostics = {"WARNING: %: Discarding unexpected closing bracket }. FormatString follows, 0 arguments."}},
      {.Name = "stray closing bracket at the end",
       .Format = "abc}",
       .Expected = "abc",
       .Diagnostics = {"Discarding unexpected closing bracket"}},
      {.Name = "field without argument",
       .Format = "{}",
       .Expected = "",
       .Diagnostics = {"ERROR: %: No argument for {} replacement field. FormatString follows, 0 arguments."}},
      {.Name = "invalid index converts the automatic argument",
       .Format = "{5}",
       .Args = {I(7)},
       .Expected = "7",
       .Diagnostics = {"ERROR: %: Index=5 is an invalid argument index. FormatString follows, 1 arguments."}},
      {.Name = "an index beyond 32 bits does not wrap around to a valid one",
       .Format = "{4294967297}{}",
       .Args = {I(7), I(8)},
       .Expected = "78",
       .Diagnostics = {"is an invalid argument index"}},
      {.Name = "explicit index then automatic", .Format = "{1}{}", .Args = {S("a"), S("b"), S("c")}, .Expected = "bc"},
      {.Name = "indexes mix freely", .Format = "{1}{0}{}", .Args = {S("a"), S("b")}, .Expected = "bab"},
      {.Name = "an unused last argument",
       .Format = "{0}{0}",
       .Args = {I(1), I(2)},
       .Expected = "11",
       .Diagnostics = {"ERROR: %: More arguments than {} replacement fields. FormatString follows, 2 arguments."}},
      {.Name = "lone opening bracket",
       .Format = "{",
       .Expected = "",
       .Diagnostics = {"ERROR: %: Missing closing bracket }. FormatString follows, 0 arguments."}},
      {.Name = "unclosed field with index",
       .Format = "x{0",
       .Args = {I(1)},
       .Expected = "x",
       .Diagnostics = {"More arguments than", "Missing closing bracket"}},
      {.Name = "format ends in the specifier",
       .Format = "{:",
       .Expected = "",
       .Diagnostics = {"ERROR: %: Incomplete format item. FormatString follows, 0 arguments.",
                       "Missing closing bracket"}},
      {.Name = "specifier ends after its type",
       .Format = "{:x",
       .Args = {I(1)},
       .Expected = "",
       .Diagnostics = {"Incomplete format item", "More arguments than", "Missing closing bracket"}},
      {.Name = "unsupported type",
       .Format = "{:q}",
       .Args = {I(5)},
       .Expected = "5",
       .Diagnostics = {"WARNING: %: Ignoring unsupported format specifier 113. FormatString follows, 1 arguments."}},
      {.Name = "unexpected character in a field",
       .Format = "{a}",
       .Args = {I(5)},
       .Expected = "5",
       .Diagnostics = {"WARNING: %: Ignoring unexpected character 97 within {} replacement field. FormatString "
                       "follows, 1 arguments."}},
      {.Name = "white space in a field is skipped", .Format = "{ 0 :>3 }", .Args = {I(5)}, .Expected = "  5"},
      {.Name = "failing conversion produces nothing",
       .Format = "<{}>",
       .Args = {Fail()},
       .Expected = "<>",
       .Diagnostics = {"ERROR: %: Conversion of argument 0 failed. FormatString follows, 1 arguments."}},

      {.Name = "negative with plus", .Format = "{:+}", .Args = {I(-5)}, .Expected = "-5"},
      {.Name = "positive with plus", .Format = "{:+}", .Args = {I(5)}, .Expected = "+5"},
      {.Name = "positive with blank", .Format = "{: }", .Args = {I(5)}, .Expected = " 5"},
      {.Name = "positive with minus", .Format = "{:-}", .Args = {I(5)}, .Expected = "5"},
      {.Name = "thousands", .Format = "{:,}", .Args = {I(1234567)}, .Expected = "1,234,567"},
      {.Name = "no separator before three digits", .Format = "{:_}", .Args = {I(-123)}, .Expected = "-123"},
      {.Name = "smallest int", .Format = "{}", .Args = {I(std::numeric_limits<int>::min())}, .Expected = "-2147483648"},
      {.Name = "smallest 64-bit",
       .Format = "{:'}",
       .Args = {I64(std::numeric_limits<long long>::min())},
       .Expected = "-9'223'372'036'854'775'808"},
      {.Name = "hex", .Format = "{:x}", .Args = {I(255)}, .Expected = "ff"},
      {.Name = "upper hex", .Format = "{:X}", .Args = {I(255)}, .Expected = "FF"},
      {.Name = "alternate hex is full width", .Format = "{:#x}", .Args = {I(255)}, .Expected = "0x000000ff"},
      {.Name = "alternate upper hex keeps 0x", .Format = "{:#X}", .Args = {I(255)}, .Expected = "0x000000FF"},
      {.Name = "zero padded hex", .Format = "{:08x}", .Args = {I(255)}, .Expected = "000000ff"},
      {.Name = "hex of a negative value", .Format = "{:x}", .Args = {I(-1)}, .Expected = "ffffffff"},
      {.Name = "hex of a negative byte", .Format = "{:#x}", .Args = {I8(-1)}, .Expected = "0xff"},
      {.Name = "hex has no sign", .Format = "{:+x}", .Args = {I(10)}, .Expected = "a"},
      {.Name = "grouped hex", .Format = "{:_x}", .Args = {I(0x12345678)}, .Expected = "1234_5678"},
      {.Name = "grouped full width hex", .Format = "{:#_x}", .Args = {I(0x1234)}, .Expected = "0x0000_1234"},
      {.Name = "64-bit hex groups by eight",
       .Format = "{:_x}",
       .Args = {I64(0x123456789abcdef0LL)},
       .Expected = "12345678_9abcdef0"},
      {.Name = "padding goes before 0x", .Format = "{:*=#12x}", .Args = {I(255)}, .Expected = "**0x000000ff"},
      {.Name = "zero fill after the sign", .Format = "{:06}", .Args = {I(-42)}, .Expected = "-00042"},
      {.Name = "centred integer", .Format = "{:*^7}", .Args = {I(-42)}, .Expected = "**-42**"},
      {.Name = "left integer", .Format = "{:<6}", .Args = {I(-42)}, .Expected = "-42   "},
      {.Name = "sign then padding", .Format = "{:=+6}", .Args = {I(42)}, .Expected = "+   42"},
      {.Name = "0 after an alignment is no fill", .Format = "{:<05}", .Args = {I(7)}, .Expected = "7    "},

      {.Name = "string right by default", .Format = "{:5}", .Args = {S("ab")}, .Expected = "   ab"},
      {.Name = "string left", .Format = "{:<5}", .Args = {S("ab")}, .Expected = "ab   "},
      {.Name = "string centred, odd padding", .Format = "{:^5}", .Args = {S("ab")}, .Expected = " ab  "},
      {.Name = "string centred with fill", .Format = "{:*^6}", .Args = {S("ab")}, .Expected = "**ab**"},
      {.Name = "string centred, even padding", .Format = "{:^4}", .Args = {S("ab")}, .Expected = " ab "},
      {.Name = "string is never cut", .Format = "{:2.1}", .Args = {S("abcd")}, .Expected = "abcd"},
      {.Name = "wide string argument", .Format = "[{:>4}]", .Args = {W(L"ab")}, .Expected = "[  ab]"},
      {.Name = "null wide C string ignores width", .Format = "{:20}", .Args = {P(nullptr)}, .Expected = "<<nullptr>>"},
      {.Name = "wide C string", .Format = "{}", .Args = {P(L"text")}, .Expected = "text"},

      {.Name = "character", .Format = "{:c}", .Args = {I(65)}, .Expected = "A"},
      {.Name = "character zero", .Format = "{:c}", .Args = {I(0)}, .Expected = "NUL"},
      {.Name = "control character", .Format = "{:c}", .Args = {I(10)}, .Expected = "?"},
      {.Name = "character above 127", .Format = "{:c}", .Args = {I(200)}, .Expected = "?"},
      {.Name = "character from the low byte", .Format = "{:c}", .Args = {I(0x141)}, .Expected = "A"},
      {.Name = "character padded", .Format = "{:>3c}", .Args = {I(65)}, .Expected = "  A"},

      {.Name = "double default", .Format = "{}", .Args = {D(2.5)}, .Expected = "2.500000"},
      {.Name = "double precision 2", .Format = "{:.2f}", .Args = {D(3.14159)}, .Expected = "3.14"},
      {.Name = "double precision 0 truncates", .Format = "{:.0f}", .Args = {D(2.7)}, .Expected = "2"},
      {.Name = "double rounds the last digit", .Format = "{:.2f}", .Args = {D(0.125 + 1e-9)}, .Expected = "0.13"},
      {.Name = "rounding carries into the integer", .Format = "{}", .Args = {D(0.9999999)}, .Expected = "1.000000"},
      {.Name = "small fraction keeps leading zeros", .Format = "{:.3f}", .Args = {D(1.05)}, .Expected = "1.050"},
      {.Name = "negative double", .Format = "{:+.1f}", .Args = {D(-2.5)}, .Expected = "-2.5"},
      {.Name = "grouped double", .Format = "{:,.1f}", .Args = {D(1234567.5)}, .Expected = "1,234,567.5"},
      {.Name = "padded double", .Format = "{:*<8.1f}", .Args = {D(3.14159)}, .Expected = "3.1*****"},
      {.Name = "= pads a double on the left", .Format = "{:0=8.1f}", .Args = {D(-3.1)}, .Expected = "0000-3.1"},
      {.Name = "nan", .Format = "{:+}", .Args = {D(std::nan(""))}, .Expected = "nan"},
      {.Name = "negative infinity", .Format = "{}", .Args = {D(-std::numeric_limits<double>::infinity())},
       .Expected = "-inf"},
      {.Name = "overflow", .Format = "{}", .Args = {D(-1e19)}, .Expected = "<<overflow>>"},
      {.Name = "largest value below the limit",
       .Format = "{:.0f}",
       .Args = {D(9e18)},
       .Expected = "9000000000000000000"},
      {.Name = "text is cut at 31 characters",
       .Format = "{:.40f}",
       .Args = {D(0.5)},
       .Expected = "0.50000000000000000000000000000"},
      {.Name = "float rounds half up", .Format = "{:.1f}", .Args = {F(2.25f)}, .Expected = "2.3"},
      {.Name = "long double", .Format = "{:.2f}", .Args = {LD(1.25L)}, .Expected = "1.25"},
      {.Name = "long double overflow", .Format = "{}", .Args = {LD(1e19L)}, .Expected = "<<overflow>>"},
  };
  return rows;
}

// Replaces "%" in an expected fragment with the name of the function that
// diagnoses.
std::string WithFunction(std::string fragment) {
  const std::size_t at = fragment.find('%');
  if (at != std::string::npos) fragment.replace(at, 1, "FormatArgs");
  return fragment;
}

template <typename Char>
void CheckTable() {
  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.Name);
    g_lines.clear();
    const auto args = MakeArgs(row.Args);
    std::uint32_t count = 0;
    const auto text = FormatOnce<Char>(FormatString<Char>(row.Format), args, count);
    EXPECT_EQ(text, FormatString<Char>(row.Expected));
    EXPECT_EQ(count, row.Expected.size());

    std::vector<std::string> messages;
    for (std::size_t i = 0; i < g_lines.size(); i += 2) messages.push_back(g_lines[i]);
    ASSERT_EQ(messages.size(), row.Diagnostics.size()) << (messages.empty() ? "" : messages[0]);
    for (std::size_t i = 0; i < messages.size(); ++i) {
      EXPECT_NE(messages[i].find(WithFunction(row.Diagnostics[i])), std::string::npos) << messages[i];
      EXPECT_EQ(messages[i].substr(0, 2), ": ") << "the empty trace tag comes first";
      EXPECT_EQ(g_lines[2 * i + 1], row.Format + "\n") << "the format string follows each message";
    }
  }
}

TEST_F(Formatter, NarrowTable) { CheckTable<char>(); }
TEST_F(Formatter, WideTable) { CheckTable<wchar_t>(); }

// Arguments that would need a conversion to a temporary are refused at
// compile time, so no FormatArg can point to a value that is already gone.
template <typename T>
concept Formattable = requires(const T& value) { velmora::MakeFormatArg(value); };
static_assert(Formattable<int> && Formattable<std::string> && Formattable<std::wstring>);
static_assert(Formattable<const wchar_t*>);
static_assert(!Formattable<char[4]> && !Formattable<wchar_t[4]> && !Formattable<long> && !Formattable<unsigned>);

TEST_F(Formatter, SixteenBitTextInNarrowOutput) {
  const std::wstring accented = L"\u00E9\u20AC";
  EXPECT_EQ(velmora::VMFormat("{}", accented), "\xE9?") << "units above 255 become ?";
  EXPECT_EQ(velmora::VMFormat(L"{}", accented), accented);
  const std::string bytes = "\xE9\xFF";
  EXPECT_EQ(velmora::VMFormat(L"{}", bytes), L"\u00E9\u00FF") << "bytes widen by their unsigned value";
  EXPECT_EQ(velmora::VMFormat(L"{:\u20AC^5}", std::wstring(L"x")), L"??x??") << "a fill above 255 is stored as ?";

  VMFormatterT<char> formatter;
  char buffer[8] = {};
  formatter.WritePosition = buffer;
  formatter.BufferEnd = buffer + 7;
  EXPECT_EQ(formatter.ConvertString16B(u"a\u0101", {}), 0);
  EXPECT_STREQ(buffer, "a?");
}

TEST_F(Formatter, CharacterCodesInDiagnostics) {
  // The narrow formatter reports a byte as a signed value, the wide one the unit.
  (void)velmora::VMFormat("{:\xE9}", 1);
  (void)velmora::VMFormat(L"{\u00E9}", 1);
  const auto messages = Messages();
  ASSERT_EQ(messages.size(), 4u) << "each diagnostic is written in both passes";
  EXPECT_NE(messages[0].find("Ignoring unsupported format specifier -23."), std::string::npos) << messages[0];
  EXPECT_NE(messages[2].find("Ignoring unexpected character 233 within"), std::string::npos) << messages[2];
}

TEST_F(Formatter, LongDiagnosticLinesAreCut) {
  const std::string format = std::string(600, 'a') + "}";
  (void)velmora::VMFormat(format.c_str());
  ASSERT_EQ(g_lines.size(), 4u) << "one diagnostic in each of the two passes";
  EXPECT_EQ(g_lines[1], std::string(511, 'a'));
}

TEST_F(Formatter, TwoPassesIntoAString) {
  EXPECT_EQ(velmora::VMFormat("{}-{:03}", std::string("id"), 7), "id-007");
  EXPECT_EQ(velmora::VMFormat(L"{}", std::wstring()), L"");
  const std::string text = velmora::VMFormat("{:>300}", std::string("x"));
  EXPECT_EQ(text.size(), 300u);
  EXPECT_EQ(text.back(), 'x');
}

template <typename Char>
void CheckTruncation() {
  Char buffer[8];
  std::fill(std::begin(buffer), std::end(buffer), Char('#'));
  VMFormatterT<Char> formatter;
  formatter.WritePosition = buffer;
  formatter.BufferEnd = buffer + 4;
  const std::basic_string<Char> format = FormatString<Char>("hel{}");
  const std::string argument = "lo";
  const FormatArg args[] = {velmora::MakeFormatArg(argument)};
  EXPECT_EQ(formatter.FormatArgs(format.c_str(), args, 1), 5u);
  EXPECT_EQ(std::basic_string<Char>(buffer, 4), FormatString<Char>("hell"));
  EXPECT_EQ(buffer[4], Char(0)) << "the terminator is stored at the buffer end";
  EXPECT_EQ(buffer[5], Char('#'));

  // A measuring formatter counts on from where it was.
  VMFormatterT<Char> measuring;
  measuring.CharacterCount = 10;
  EXPECT_EQ(measuring.FormatArgs(format.c_str(), args, 1), 15u);
}

TEST_F(Formatter, TruncatesIntoASmallBuffer) {
  CheckTruncation<char>();
  CheckTruncation<wchar_t>();
}

// Random format strings and arguments: the formatter stays inside its buffer
// (plus the one terminator) and always reports the length of the whole output.
template <typename Char>
void Fuzz(std::uint32_t seed, int rounds) {
  std::mt19937 random(seed);
  const std::string alphabet = "{{{}}}}::<>=^+- #0123456789_,.'xXdncsefgqa\t";
  constexpr std::size_t kGuard = 8;
  constexpr Char kGuardChar = Char(0x5A);
  for (int round = 0; round < rounds; ++round) {
    std::string narrow;
    const std::size_t length = random() % 24;
    for (std::size_t i = 0; i < length; ++i) narrow.push_back(alphabet[random() % alphabet.size()]);
    const std::basic_string<Char> format = FormatString<Char>(narrow);

    std::vector<Arg> values;
    const std::size_t argCount = random() % 4;
    for (std::size_t i = 0; i < argCount; ++i) {
      switch (random() % 5) {
        case 0: values.push_back(I(static_cast<int>(random()))); break;
        case 1: values.push_back(S(std::string(random() % 5, 's'))); break;
        case 2: values.push_back(W(L"w\u20AC")); break;
        case 3: values.push_back(P(nullptr)); break;
        default: values.push_back(D(static_cast<double>(static_cast<int>(random())) / 977.0)); break;
      }
    }
    const auto args = MakeArgs(values);
    const auto count = static_cast<std::uint32_t>(args.size());

    const auto full = velmora::VMFormatArgsToString(format.c_str(), args.data(), count);
    const auto fullCount = static_cast<std::uint32_t>(full.size());

    const std::size_t size = random() % 40;
    std::vector<Char> storage(kGuard + size + 1 + kGuard, kGuardChar);
    VMFormatterT<Char> formatter;
    formatter.WritePosition = storage.data() + kGuard;
    formatter.BufferEnd = formatter.WritePosition + size;
    ASSERT_EQ(formatter.FormatArgs(format.c_str(), args.data(), count), fullCount) << narrow;

    const std::size_t stored = std::min(size, full.size());
    ASSERT_EQ(std::basic_string<Char>(storage.data() + kGuard, stored), full.substr(0, stored)) << narrow;
    ASSERT_EQ(storage[kGuard + stored], Char(0)) << narrow;
    for (std::size_t i = 0; i < kGuard; ++i) ASSERT_EQ(storage[i], kGuardChar) << narrow;
    for (std::size_t i = kGuard + stored + 1; i < storage.size(); ++i) ASSERT_EQ(storage[i], kGuardChar) << narrow;
  }
}

void Discard(const char*) {}

TEST(FormatterFuzz, StaysInsideTheBufferAndCountsTheWholeOutput) {
  const auto previous = velmora::VMSetTraceSink(&Discard);
  Fuzz<char>(1, 5000);
  Fuzz<wchar_t>(2, 5000);
  velmora::VMSetTraceSink(previous);
}

}  // namespace
