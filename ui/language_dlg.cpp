// SPDX-License-Identifier: Apache-2.0
#include "ui/language_dlg.h"

#include "ui/resource_ids.h"

namespace {
using namespace dialog_resize;
constexpr DialogResize::Item kResizeMap[] = {
    {IDC_LANGUAGE_PROMPT, DLSZ_SIZE_X | DLSZ_REPAINT},
    {IDC_LANGUAGE_LIST, DLSZ_SIZE_X | DLSZ_REPAINT},
    {IDOK, DLSZ_MOVE_X | DLSZ_REPAINT},
};

// The dialog's own results; the caller judges the outcome by the manager's
// selection, not by these.
constexpr INT_PTR kConfirmed = 1;
constexpr INT_PTR kNotConfirmed = 2;
}  // namespace

LanguageDlg::LanguageDlg(velmora::VMWinUiLanguageMgr& manager)
    : Dialog(IDD_LANGUAGE, kResizeMap), manager_(manager) {}

std::wstring LanguageDlg::DisplayText(const velmora::LanguageInfo& language) {
  if (language.EnglishName == language.LocalizedName) return language.LocalizedName;
  return language.LocalizedName + L" [" + language.EnglishName + L"]";
}

bool LanguageDlg::OnInitDialog() {
  if (manager_.AvailableLanguages.empty()) {
    End(kConfirmed);
    return false;
  }
  list_ = GetDlgItem(Handle(), IDC_LANGUAGE_LIST);
  Fill();
  Preselect();
  return true;
}

void LanguageDlg::Fill() {
  tags_.clear();
  for (const velmora::LanguageInfo& language : manager_.AvailableLanguages) {
    const std::wstring text = DisplayText(language);
    const LRESULT item = SendMessageW(list_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (item < 0) continue;
    if (SendMessageW(list_, CB_SETITEMDATA, static_cast<WPARAM>(item), static_cast<LPARAM>(tags_.size())) ==
        CB_ERR) {
      // An item that cannot be tied to its tag would select nothing.
      SendMessageW(list_, CB_DELETESTRING, static_cast<WPARAM>(item), 0);
      continue;
    }
    tags_.push_back(language.Tag);
  }
}

void LanguageDlg::Preselect() {
  const std::wstring& preselected = manager_.SelectedLanguage.Tag;
  if (!preselected.empty()) {
    chosenTag_ = preselected;
    const LRESULT count = SendMessageW(list_, CB_GETCOUNT, 0, 0);
    for (LRESULT item = 0; item < count; ++item) {
      if (TagOfItem(item) != preselected) continue;
      if (SendMessageW(list_, CB_SETCURSEL, static_cast<WPARAM>(item), 0) == item) return;
      break;
    }
  }
  // Nothing preselected: the first entry as the user sees the list.
  SendMessageW(list_, CB_SETCURSEL, 0, 0);
  chosenTag_ = TagOfItem(0);
}

std::wstring LanguageDlg::TagOfItem(LRESULT item) const {
  if (item < 0) return {};
  const LRESULT index = SendMessageW(list_, CB_GETITEMDATA, static_cast<WPARAM>(item), 0);
  if (index == CB_ERR || static_cast<std::size_t>(index) >= tags_.size()) return {};
  return tags_[static_cast<std::size_t>(index)];
}

bool LanguageDlg::OnCommand(WORD id, WORD notification) {
  switch (id) {
    case IDOK: {
      const bool confirmed = !chosenTag_.empty() && manager_.SelectByTag(chosenTag_) == velmora::status::Ok;
      Close(confirmed ? kConfirmed : kNotConfirmed);
      return true;
    }
    case IDCANCEL:
      // There is nothing to cancel: the run needs a language.
      return true;
    case IDM_APP_EXIT:
      Close(kNotConfirmed);
      return true;
    case IDC_LANGUAGE_LIST:
      if (notification != CBN_SELCHANGE) return false;
      chosenTag_ = TagOfItem(SendMessageW(list_, CB_GETCURSEL, 0, 0));
      return true;
    default:
      return false;
  }
}

void LanguageDlg::Close(INT_PTR result) {
  tags_.clear();
  SendMessageW(list_, CB_RESETCONTENT, 0, 0);
  End(result);
}
