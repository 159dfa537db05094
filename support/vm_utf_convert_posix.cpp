// SPDX-License-Identifier: Apache-2.0
// UTF-8 conversion where wchar_t holds whole code points (UTF-32): the wide
// texts of this library then hold one unit per code point, and what is
// valid or not is decided as for UTF-16 text on Windows.
#include <cstdint>

#include "support/vm_utf_convert.h"

namespace velmora {
namespace {

bool IsScalar(std::uint32_t code) { return code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF); }

// The code points of `text`, or false for anything but well-formed UTF-8.
bool Decode(std::string_view text, std::wstring& out) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int extra = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
    if (extra < 0 || lead > 0xF4 || i + extra >= text.size()) return false;
    std::uint32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    constexpr std::uint32_t kShortest[] = {0, 0x80, 0x800, 0x10000};
    if (code < kShortest[extra] || !IsScalar(code)) return false;
    out.push_back(static_cast<wchar_t>(code));
    i += static_cast<std::size_t>(extra) + 1;
  }
  return true;
}

}  // namespace

bool VMIsValidUtf16(std::wstring_view text) {
  for (const wchar_t c : text) {
    if (!IsScalar(static_cast<std::uint32_t>(c))) return false;
  }
  return true;
}

std::string VMUtf16ToUtf8(std::wstring_view text) {
  std::string converted;
  if (!VMIsValidUtf16(text)) {
    for (const wchar_t c : text) converted.push_back(static_cast<char>(c & 0xFF));
    return converted;
  }
  for (const wchar_t c : text) {
    const auto code = static_cast<std::uint32_t>(c);
    if (code < 0x80) {
      converted.push_back(static_cast<char>(code));
      continue;
    }
    const int extra = code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
    constexpr std::uint32_t kLead[] = {0, 0xC0, 0xE0, 0xF0};
    converted.push_back(static_cast<char>(kLead[extra] | (code >> (6 * extra))));
    for (int k = extra - 1; k >= 0; --k) converted.push_back(static_cast<char>(0x80 | ((code >> (6 * k)) & 0x3F)));
  }
  return converted;
}

std::wstring VMUtf8ToUtf16(std::string_view text, VMByteWidening widening) {
  std::wstring converted;
  if (Decode(text, converted)) return converted;
  converted.clear();
  for (const char c : text) {
    converted.push_back(widening == VMByteWidening::SignExtended
                            ? static_cast<wchar_t>(static_cast<std::uint16_t>(static_cast<signed char>(c)))
                            : static_cast<wchar_t>(static_cast<unsigned char>(c)));
  }
  return converted;
}

}  // namespace velmora
