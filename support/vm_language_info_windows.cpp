// SPDX-License-Identifier: Apache-2.0
#include "support/vm_language_info.h"

#include <windows.h>

namespace velmora {

namespace {

VMStatus ReadLocaleText(const std::wstring& locale, LCTYPE type, std::wstring& text) {
  text.clear();
  const int size = GetLocaleInfoEx(locale.c_str(), type, nullptr, 0);
  if (size > 0) {
    text.resize(static_cast<std::size_t>(size));
    const int written = GetLocaleInfoEx(locale.c_str(), type, text.data(), size);
    if (written > 0) {
      text.resize(static_cast<std::size_t>(written - 1));
      return status::Ok;
    }
  }
  text.clear();
  const VMStatus error = LastErrorOr();
  return error == ERROR_INVALID_PARAMETER ? status::InvalidValue : error;
}

}  // namespace

VMStatus LanguageInfo::ParseLanguageTag(const std::wstring& tag) {
  VM_RETURN_IF_FAILED(ParseSubtags(tag));
  const std::wstring locale = LocaleName();
  VM_RETURN_IF_FAILED(ReadLocaleText(locale, LOCALE_SENGLISHDISPLAYNAME, EnglishName));
  return ReadLocaleText(locale, LOCALE_SLOCALIZEDDISPLAYNAME, LocalizedName);
}

}  // namespace velmora
