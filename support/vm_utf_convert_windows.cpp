// SPDX-License-Identifier: Apache-2.0
#include "support/vm_utf_convert.h"

#include <windows.h>

#include <cstdint>

namespace velmora {

bool VMIsValidUtf16(std::wstring_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool high = text[i] >= 0xD800 && text[i] <= 0xDBFF;
    const bool low = text[i] >= 0xDC00 && text[i] <= 0xDFFF;
    if (low) return false;
    if (high) {
      if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      ++i;
    }
  }
  return true;
}

std::string VMUtf16ToUtf8(std::wstring_view text) {
  std::string converted;
  if (text.empty()) return converted;
  const int units = static_cast<int>(text.size());
  const int length = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), units, nullptr, 0, nullptr, nullptr);
  if (length > 0) {
    converted.resize(static_cast<std::size_t>(length));
    if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), units, converted.data(), length, nullptr,
                            nullptr) == length) {
      return converted;
    }
  }
  converted.resize(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) converted[i] = static_cast<char>(text[i] & 0xFF);
  return converted;
}

std::wstring VMUtf8ToUtf16(std::string_view text, VMByteWidening widening) {
  std::wstring converted;
  if (text.empty()) return converted;
  const int bytes = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), bytes, nullptr, 0);
  if (length > 0) {
    converted.resize(static_cast<std::size_t>(length));
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), bytes, converted.data(), length) == length) {
      return converted;
    }
  }
  converted.resize(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    converted[i] = widening == VMByteWidening::SignExtended
                       ? static_cast<wchar_t>(static_cast<std::int16_t>(static_cast<signed char>(text[i])))
                       : static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
  }
  return converted;
}

}  // namespace velmora
