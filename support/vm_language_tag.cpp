// SPDX-License-Identifier: Apache-2.0
// The part of a language tag that needs no locale data: its subtags.
#include <string_view>

#include "support/vm_language_info.h"

namespace velmora {

namespace {

bool IsSeparator(wchar_t c) { return c == L'-' || c == L'_'; }

// The subtag that starts at `position`; `position` moves past it and its
// separator.
std::wstring_view NextSubtag(std::wstring_view tag, std::size_t& position) {
  if (position > tag.size()) return {};
  std::size_t end = position;
  while (end < tag.size() && !IsSeparator(tag[end])) ++end;
  const std::wstring_view subtag = tag.substr(position, end - position);
  position = end + 1;
  return subtag;
}

// A third subtag may repeat the second one's field, never contradict it.
VMStatus Merge(std::wstring& field, std::wstring_view subtag) {
  if (field.empty()) {
    field = subtag;
    return status::Ok;
  }
  return field == subtag ? status::Ok : status::InvalidConfiguration;
}

}  // namespace

VMStatus LanguageInfo::ParseSubtags(const std::wstring& tag) {
  *this = LanguageInfo{};
  Tag = tag;
  std::size_t position = 0;
  const std::wstring_view first = NextSubtag(tag, position);
  if (first.size() != 2 && first.size() != 3) return status::InvalidConfiguration;
  Language = first;

  const std::wstring_view second = NextSubtag(tag, position);
  if (second.size() == 2) {
    Region = second;
  } else if (second.size() == 4) {
    Script = second;
  }
  if (!Region.empty() || !Script.empty()) {
    const std::wstring_view third = NextSubtag(tag, position);
    if (third.size() == 2) {
      VM_RETURN_IF_FAILED(Merge(Region, third));
    } else if (third.size() == 4) {
      VM_RETURN_IF_FAILED(Merge(Script, third));
    }
  }
  return status::Ok;
}

std::wstring LanguageInfo::LocaleName() const {
  std::wstring name = Language;
  if (!Script.empty()) name += L"-" + Script;
  if (!Region.empty()) name += L"-" + Region;
  return name;
}

}  // namespace velmora
