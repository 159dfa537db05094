#include "support/vm_win_ui_language_mgr.h"

#include <windows.h>

#include <functional>

namespace velmora {

namespace {

bool IsBareEnglish(const LanguageInfo& entry) {
  return entry.Language == L"en" && entry.Region.empty() && entry.Script.empty();
}

}  // namespace

VMStatus VMWinUiLanguageMgr::SelectByUserUiLanguage() {
  SelectedLanguage = LanguageInfo{};
  if (AvailableLanguages.empty()) return status::Ok;
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  if (LCIDToLocaleName(GetUserDefaultUILanguage(), name, LOCALE_NAME_MAX_LENGTH, 0) == 0) return LastErrorOr();
  LanguageInfo user;
  VM_RETURN_IF_FAILED(user.ParseLanguageTag(name));
  SelectFor(user);
  return status::Ok;
}

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
