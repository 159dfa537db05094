// SPDX-License-Identifier: Apache-2.0
// Text formatting with {} replacement fields, for narrow and 16-bit text.
//
// Grammar of a replacement field: "{" [index] [":" format] "}", where format is
//   [[fill]align][sign]["#"]["0"][width][separator]["." precision][type]
// with align one of "<" "=" ">" "^", sign one of " " "+" "-", separator one
// of "'" "," "_" and type one of "x" "X" "d" "n" "c" "s" "e" "f" "g" "E" "F"
// "G". "{{" and "}}" stand for the brackets themselves.
//
// The formatter never allocates: it writes through a bounded cursor into a
// caller's buffer and counts every character it produces, stored or not, so a
// formatter without a buffer measures. Malformed format strings are not
// errors; each problem becomes a diagnostic line on the debugger output and
// the well-formed parts are still formatted.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace velmora {

namespace format_flags {
inline constexpr std::uint16_t Hex = 0x0001;
inline constexpr std::uint16_t UpperCase = 0x0002;
inline constexpr std::uint16_t FullWidth = 0x0004;  // two hex digits per byte
inline constexpr std::uint16_t Alternate = 0x0010;  // "#"
inline constexpr std::uint16_t Character = 0x0020;  // "c"
inline constexpr std::uint16_t Precision = 0x0080;
}  // namespace format_flags

// The parsed specifier of one field. The characters are narrow in both
// formatters; a wide fill character that does not fit is stored as "?".
struct FormatSpec {
  std::uint16_t Flags = 0;
  std::uint16_t Width = 0;
  std::uint16_t Precision = 0;
  char Fill = 0;       // 0: a blank
  char Alignment = 0;  // "<", "=", ">", "^" or 0
  char Sign = 0;       // " ", "+", "-" or 0
  char Separator = 0;  // "'", ",", "_" or 0 (no grouping)
};

// An integer of any source type, sign- or zero-extended to 64 bits.
struct FormatInteger {
  std::uint32_t Low = 0;
  std::int32_t High = 0;
  std::uint8_t ByteWidth = 4;  // 1, 2, 4 or 8
  std::uint8_t Signed = 1;
};

class VMFormatterBase {
 public:
  virtual ~VMFormatterBase() = default;
  virtual std::int32_t ConvertString16(const wchar_t* text, const FormatSpec& spec) = 0;
  virtual std::int32_t ConvertString16B(const char16_t* text, const FormatSpec& spec) = 0;
  virtual std::int32_t ConvertNarrowString(const char* text, const FormatSpec& spec) = 0;
  virtual void PutRawString(const char* text) = 0;
  virtual void PutRawChar(char c) = 0;
  virtual std::int32_t ConvertInteger(const FormatInteger& value, const FormatSpec& spec) = 0;
  virtual std::int32_t ConvertLongDouble(long double value, const FormatSpec& spec) = 0;
  virtual std::int32_t ConvertDouble(double value, const FormatSpec& spec) = 0;
  virtual std::int32_t ConvertFloat(float value, const FormatSpec& spec) = 0;
};

// What a conversion function receives.
struct FormatContext {
  VMFormatterBase* Formatter = nullptr;
  FormatSpec Spec;
};

// One argument. The formatter calls `Convert` once with a null value first
// (it then writes nothing and returns 0) and then with `Value`.
using FormatConvertFn = std::int32_t (*)(FormatContext* context, const void* value);
struct FormatArg {
  const void* Value = nullptr;
  FormatConvertFn Convert = nullptr;
};

// `value` points to an int (32-bit); type "c" prints it as a character.
std::int32_t ConvertArgInt(FormatContext* context, const void* value);
// `value` points to a std::string.
std::int32_t ConvertArgString(FormatContext* context, const void* value);
// `value` points to a std::wstring.
std::int32_t ConvertArgWString(FormatContext* context, const void* value);
// `value` points to a `const wchar_t*` variable; a null pointer prints
// "<<nullptr>>".
std::int32_t ConvertArgWideCString(FormatContext* context, const void* value);

template <typename Char>
class VMFormatterImplT : public VMFormatterBase {
 public:
  std::int32_t ConvertString16(const wchar_t* text, const FormatSpec& spec) override;
  std::int32_t ConvertString16B(const char16_t* text, const FormatSpec& spec) override;
  std::int32_t ConvertNarrowString(const char* text, const FormatSpec& spec) override;
  void PutRawString(const char* text) override;
  void PutRawChar(char c) override;
  std::int32_t ConvertInteger(const FormatInteger& value, const FormatSpec& spec) override;
  std::int32_t ConvertLongDouble(long double value, const FormatSpec& spec) override;
  std::int32_t ConvertDouble(double value, const FormatSpec& spec) override;
  std::int32_t ConvertFloat(float value, const FormatSpec& spec) override;

  // The cursor: a character is stored only while WritePosition is below
  // BufferEnd, and counted in any case. Null pointers only measure.
  Char* WritePosition = nullptr;
  Char* BufferEnd = nullptr;
  std::uint32_t CharacterCount = 0;

 protected:
  void Put(Char c) {
    if (WritePosition < BufferEnd) *WritePosition++ = c;
    ++CharacterCount;
  }
  void PutNarrow(char c) { Put(static_cast<Char>(static_cast<unsigned char>(c))); }
  void PutFill(char fill, std::uint32_t count);
  // `text` of `length` units, padded to the field's width like a string.
  template <typename Unit>
  void PutPadded(const Unit* text, std::uint32_t length, const FormatSpec& spec);
  template <typename Unit>
  std::int32_t ConvertString(const Unit* text, const FormatSpec& spec);
  template <typename Float>
  std::int32_t ConvertFloating(Float value, bool isNan, bool isInf, const FormatSpec& spec);
};

template <typename Char>
class VMFormatterT : public VMFormatterImplT<Char> {
 public:
  ~VMFormatterT() override = default;

  // Formats `format` with `count` arguments. Returns the length of the whole
  // output, whether it fitted or not (without the terminator). When a buffer
  // is set, a NUL is stored at the final write position, which may be
  // BufferEnd itself: the buffer must hold one character beyond BufferEnd.
  std::uint32_t FormatArgs(const Char* format, const FormatArg* args, std::uint32_t count);
};

// Formats into a string object: one pass to measure, one to write.
template <typename Char>
std::basic_string<Char> VMFormatArgsToString(const Char* format, const FormatArg* args, std::uint32_t count);

// The argument must be one of these types exactly: a conversion (a string
// literal to std::string or to a pointer, a long to int) would make a
// temporary that is gone before the formatter reads it. Other types do not
// compile.
template <typename T>
FormatArg MakeFormatArg(const T& value) = delete;
template <>
inline FormatArg MakeFormatArg<int>(const int& value) {
  return {&value, &ConvertArgInt};
}
template <>
inline FormatArg MakeFormatArg<std::string>(const std::string& value) {
  return {&value, &ConvertArgString};
}
template <>
inline FormatArg MakeFormatArg<std::wstring>(const std::wstring& value) {
  return {&value, &ConvertArgWString};
}
template <>
inline FormatArg MakeFormatArg<const wchar_t*>(const wchar_t* const& value) {
  return {&value, &ConvertArgWideCString};
}

// VMFormat(L"--{} {}", name, 1): the arguments must outlive the call only,
// which temporaries do.
template <typename Char, typename... Args>
std::basic_string<Char> VMFormat(const Char* format, const Args&... args) {
  const std::array<FormatArg, sizeof...(Args)> list{MakeFormatArg(args)...};
  return VMFormatArgsToString(format, list.data(), static_cast<std::uint32_t>(list.size()));
}

extern template class VMFormatterImplT<char>;
extern template class VMFormatterImplT<wchar_t>;
extern template class VMFormatterT<char>;
extern template class VMFormatterT<wchar_t>;

}  // namespace velmora
