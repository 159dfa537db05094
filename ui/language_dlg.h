// SPDX-License-Identifier: Apache-2.0
// The language dialog: the user picks which of the offered languages to
// install. It has no Cancel; Escape and close requests do nothing. Its only
// effect is the manager's SelectedLanguage, set when the user confirms.
//
// The caller gives it a manager whose list is loaded and whose preselection
// is made, runs it modally and reads SelectedLanguage afterwards. An empty
// list closes the dialog at once.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/vm_win_ui_language_mgr.h"
#include "ui/dialog.h"

class LanguageDlg final : public Dialog {
 public:
  explicit LanguageDlg(velmora::VMWinUiLanguageMgr& manager);

  // "Localized [English]", or one name when both are the same.
  [[nodiscard]] static std::wstring DisplayText(const velmora::LanguageInfo& language);

 private:
  bool OnInitDialog() override;
  bool OnCommand(WORD id, WORD notification) override;
  void Fill();
  void Preselect();
  // The tag an item of the list stands for; empty for none.
  [[nodiscard]] std::wstring TagOfItem(LRESULT item) const;
  void Close(INT_PTR result);

  velmora::VMWinUiLanguageMgr& manager_;
  HWND list_ = nullptr;
  // The list sorts its items by text; each item's data is its index here.
  std::vector<std::wstring> tags_;
  // The tag of the item selected in the list.
  std::wstring chosenTag_;
};
