// SPDX-License-Identifier: Apache-2.0
// The language dialog as a user meets it, over a manager with fixed entries
// (Wine gives every locale its English name only, so the two-name texts
// need entries of their own).
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "config/cfg.h"
#include "tests/tools/window_driver.h"
#include "ui/language_dlg.h"
#include "ui/resource_ids.h"

namespace {

using namespace testing_tools;
using velmora::LanguageInfo;

class FixedLanguages final : public velmora::VMWinUiLanguageMgr {
 public:
  velmora::VMStatus LoadAvailableLanguages() override { return velmora::status::Ok; }
};

LanguageInfo Entry(const wchar_t* tag, const wchar_t* english, const wchar_t* localized) {
  LanguageInfo entry;
  entry.Tag = tag;
  entry.EnglishName = english;
  entry.LocalizedName = localized;
  return entry;
}

struct Seen {
  bool Shown = false;
  std::wstring Caption;
  std::vector<std::wstring> Items;
  std::wstring Current;  // the selected item's text when the dialog opened
};

std::wstring ItemText(HWND list, LRESULT item) {
  std::wstring text(static_cast<std::size_t>(SendMessageW(list, CB_GETLBTEXTLEN, item, 0)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(SendMessageW(list, CB_GETLBTEXT, item, reinterpret_cast<LPARAM>(text.data()))));
  return text;
}

TEST(LanguageDialog, OffersTheLanguagesAndConfirmsOne) {
  enum class Action { Enter, PickFrench, EscapeThenOk, CloseThenOk, AppExit };
  struct Row {
    const char* Name;
    const wchar_t* Preselected;  // the manager's choice before the dialog
    Action Act;
    const wchar_t* Current;   // selected when it opens
    const wchar_t* Selected;  // the manager's choice afterwards
  };
  const Row rows[] = {
      {"the manager's choice is preselected and Enter confirms it", L"en-US", Action::Enter,
       L"English (United States)", L"en-US"},
      {"nothing preselected: the first entry in sorted order", L"", Action::Enter,
       L"Deutsch (Deutschland) [German (Germany)]", L"de-DE"},
      {"a preselection the list lacks: the first entry", L"it-IT", Action::Enter,
       L"Deutsch (Deutschland) [German (Germany)]", L"de-DE"},
      {"a changed selection is what OK confirms", L"en-US", Action::PickFrench, L"English (United States)",
       L"fr-FR"},
      {"Escape leaves the dialog open", L"", Action::EscapeThenOk, L"Deutsch (Deutschland) [German (Germany)]",
       L"de-DE"},
      {"a close request leaves it open", L"", Action::CloseThenOk, L"Deutsch (Deutschland) [German (Germany)]",
       L"de-DE"},
      {"the application-exit command closes it without a choice", L"", Action::AppExit,
       L"Deutsch (Deutschland) [German (Germany)]", L""},
  };
  TheCfg().Title = L"Example Setup";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    FixedLanguages languages;
    // Not in display order: the list sorts them.
    languages.AvailableLanguages = {Entry(L"en-US", L"English (United States)", L"English (United States)"),
                                    Entry(L"fr-FR", L"French (France)", L"fran\u00E7ais (France)"),
                                    Entry(L"de-DE", L"German (Germany)", L"Deutsch (Deutschland)")};
    languages.SelectedLanguage.Tag = row.Preselected;
    Seen seen;
    INT_PTR result = 0;
    {
      BackgroundThread user([&] {
        HWND dialog = WaitForDialog(GetCurrentProcessId(), IDC_LANGUAGE_LIST);
        if (dialog == nullptr) return;
        seen.Shown = true;
        seen.Caption = WindowText(dialog);
        HWND list = GetDlgItem(dialog, IDC_LANGUAGE_LIST);
        for (LRESULT i = 0; i < SendMessageW(list, CB_GETCOUNT, 0, 0); ++i) seen.Items.push_back(ItemText(list, i));
        seen.Current = ItemText(list, SendMessageW(list, CB_GETCURSEL, 0, 0));
        switch (row.Act) {
          case Action::Enter: PressKey(dialog, VK_RETURN); break;
          case Action::PickFrench:
            SendMessageW(list, CB_SETCURSEL, 2, 0);
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_LANGUAGE_LIST, CBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(list));
            PressKey(dialog, VK_RETURN);
            break;
          // Posted messages arrive in order: had the first closed the
          // dialog, the OK behind it would find no window.
          case Action::EscapeThenOk:
            PressKey(dialog, VK_ESCAPE);
            Click(dialog, IDOK);
            break;
          case Action::CloseThenOk:
            PostMessageW(dialog, WM_CLOSE, 0, 0);
            Click(dialog, IDOK);
            break;
          case Action::AppExit: PostMessageW(dialog, WM_COMMAND, IDM_APP_EXIT, 0); break;
        }
        if (!WaitFor([&] { return !IsWindow(dialog); }, 5000)) PostMessageW(dialog, WM_COMMAND, IDOK, 0);
      });
      result = LanguageDlg(languages).ShowModal(GetModuleHandleW(nullptr), nullptr, TheCfg().Title);
    }
    ASSERT_TRUE(seen.Shown);
    EXPECT_EQ(seen.Caption, L"Example Setup");
    EXPECT_EQ(seen.Items, (std::vector<std::wstring>{L"Deutsch (Deutschland) [German (Germany)]",
                                                     L"English (United States)",
                                                     L"fran\u00E7ais (France) [French (France)]"}))
        << "sorted by what they show; one name where both are the same";
    EXPECT_EQ(seen.Current, row.Current);
    EXPECT_EQ(languages.SelectedLanguage.Tag, row.Selected);
    EXPECT_EQ(result, row.Act == Action::AppExit ? 2 : 1);
  }
}

TEST(LanguageDialog, AnEmptyListClosesAtOnce) {
  FixedLanguages languages;
  EXPECT_EQ(LanguageDlg(languages).ShowModal(GetModuleHandleW(nullptr), nullptr, TheCfg().Title), 1);
  EXPECT_TRUE(languages.SelectedLanguage.Tag.empty());
}

}  // namespace
