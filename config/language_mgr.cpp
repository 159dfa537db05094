// SPDX-License-Identifier: Apache-2.0
#include "config/language_mgr.h"

namespace status = velmora::status;

velmora::VMStatus LanguageMgr::LoadAvailableLanguages() {
  AvailableLanguages.clear();
  if (options_.MatchingLanguageTags) {
    for (const std::wstring& tag : options_.MatchingLanguageTags->Tags) {
      velmora::LanguageInfo entry;
      if (entry.ParseLanguageTag(tag) == status::Ok) AvailableLanguages.push_back(std::move(entry));
    }
  }
  return AvailableLanguages.empty() ? status::Failed : status::Ok;
}
