// SPDX-License-Identifier: Apache-2.0
// The list of languages a program offers and the one chosen among them,
// preselected from the user's Windows display language.
#pragma once

#include <string>
#include <vector>

#include "support/vm_language_info.h"
#include "support/vm_status.h"

namespace velmora {

class VMWinUiLanguageMgr {
 public:
  VMWinUiLanguageMgr() = default;
  virtual ~VMWinUiLanguageMgr() = default;
  VMWinUiLanguageMgr(const VMWinUiLanguageMgr&) = delete;
  VMWinUiLanguageMgr& operator=(const VMWinUiLanguageMgr&) = delete;

  // Fills AvailableLanguages from wherever the program keeps its languages.
  [[nodiscard]] virtual VMStatus LoadAvailableLanguages() = 0;

  // Selects the entry that suits the user's display language best, or none
  // when nothing suits; 0 in both cases. Fails only when the display
  // language itself cannot be read or parsed.
  [[nodiscard]] VMStatus SelectByUserUiLanguage();

  // The same for a user whose display language is `user`.
  void SelectFor(const LanguageInfo& user);

  // Selects the first entry whose tag equals `tag` exactly; Failed, with the
  // selection unchanged, when there is none.
  [[nodiscard]] VMStatus SelectByTag(const std::wstring& tag);

  // In the order they were added.
  std::vector<LanguageInfo> AvailableLanguages;
  // An empty Tag: nothing selected.
  LanguageInfo SelectedLanguage;
};

}  // namespace velmora
