// SPDX-License-Identifier: Apache-2.0
// How VMWinUiLanguageMgr chooses among its languages: rules without any
// Windows call, so that tools on every host apply them.
#include <functional>

#include "support/vm_win_ui_language_mgr.h"

namespace velmora {

namespace {

bool IsBareEnglish(const LanguageInfo& entry) {
  return entry.Language == L"en" && entry.Region.empty() && entry.Script.empty();
}

}  // namespace

void VMWinUiLanguageMgr::SelectFor(const LanguageInfo& user) {
  SelectedLanguage = LanguageInfo{};
  // From the closest match to the last resort; every comparison is exact,
  // so "en-us" never matches a user's "en-US" by its region. English is the
  // language most users read when their own is not offered, the neutral
  // "en" before any regional one.
  using Fits = std::function<bool(const LanguageInfo&)>;
  const bool hasScript = !user.Script.empty();
  const bool hasRegion = !user.Region.empty();
  const struct {
    bool Applies;
    Fits Test;
  } passes[] = {
      {hasScript && hasRegion,
       [&](const LanguageInfo& e) {
         return e.Language == user.Language && e.Script == user.Script && e.Region == user.Region;
       }},
      {hasScript, [&](const LanguageInfo& e) { return e.Language == user.Language && e.Script == user.Script; }},
      {hasRegion, [&](const LanguageInfo& e) { return e.Language == user.Language && e.Region == user.Region; }},
      {true, [&](const LanguageInfo& e) { return e.Language == user.Language; }},
      {true, IsBareEnglish},
      {true, [](const LanguageInfo& e) { return e.Language == L"en"; }},
  };
  for (const auto& pass : passes) {
    if (!pass.Applies) continue;
    for (const LanguageInfo& entry : AvailableLanguages) {
      if (pass.Test(entry)) {
        SelectedLanguage = entry;
        return;
      }
    }
  }
}

VMStatus VMWinUiLanguageMgr::SelectByTag(const std::wstring& tag) {
  for (const LanguageInfo& entry : AvailableLanguages) {
    if (entry.Tag == tag) {
      SelectedLanguage = entry;
      return status::Ok;
    }
  }
  return status::Failed;
}

}  // namespace velmora
