// SPDX-License-Identifier: Apache-2.0
// Without the Windows locale data: the subtags only, and the tag itself as
// both names. Every tag of a well-formed shape passes here; whether Windows
// knows the locale is found out on Windows.
#include "support/vm_language_info.h"

namespace velmora {

VMStatus LanguageInfo::ParseLanguageTag(const std::wstring& tag) {
  VM_RETURN_IF_FAILED(ParseSubtags(tag));
  EnglishName = Tag;
  LocalizedName = Tag;
  return status::Ok;
}

}  // namespace velmora
