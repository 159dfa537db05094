// SPDX-License-Identifier: Apache-2.0
#include "support/vm_win_ui_language_mgr.h"

#include <windows.h>

namespace velmora {

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

}  // namespace velmora
