// SPDX-License-Identifier: Apache-2.0
// The extract-to dialog as a user meets it: the dialog runs modally on the
// test's thread while a second thread finds it, reads it and acts on it.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <functional>
#include <string>

#include "config/cfg.h"
#include "tests/tools/window_driver.h"
#include "ui/extract_to_dlg.h"
#include "ui/resource_ids.h"

namespace {

using namespace testing_tools;

struct Outcome {
  INT_PTR Result = 0;
  std::wstring Path;
  std::wstring CaptionSeen;
  std::wstring PathSeen;  // in the edit box when the dialog opened
};

// Runs the dialog prefilled with `path`; `user` gets the open dialog and must
// close it. Should it not, the dialog is cancelled after a while so that a
// failing test cannot hang.
Outcome RunDialog(const std::wstring& path, const std::function<void(HWND)>& user) {
  Outcome outcome;
  ExtractToDlg dialog;
  dialog.Path = path;
  {
    BackgroundThread driver([&] {
      HWND window = WaitForDialog(GetCurrentProcessId(), IDC_TARGET_PATH);
      if (window == nullptr) return;
      outcome.CaptionSeen = WindowText(window);
      outcome.PathSeen = WindowText(GetDlgItem(window, IDC_TARGET_PATH));
      user(window);
      if (!WaitFor([&] { return !IsWindow(window); }, 5000)) PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    });
    outcome.Result = dialog.ShowModal(GetModuleHandleW(nullptr), nullptr, TheCfg().Title);
  }
  outcome.Path = dialog.Path;
  return outcome;
}

void Type(HWND dialog, const wchar_t* text) {
  SendMessageW(GetDlgItem(dialog, IDC_TARGET_PATH), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

class ExtractToDialog : public ::testing::Test {
 protected:
  void SetUp() override { TheCfg().Title = L"Example Setup"; }
};

TEST_F(ExtractToDialog, ClosesWithTheUsersAnswer) {
  enum class Action { Enter, EnterInEditBox, ClickExtract, Escape, Close, AppExit };
  struct Row {
    const char* Name;
    const wchar_t* Typed;  // nullptr: the prefilled text stays
    Action Act;
    INT_PTR Result;
    const wchar_t* Path;  // checked when the result is IDOK
  };
  const Row rows[] = {
      {"Enter accepts the prefilled folder", nullptr, Action::Enter, IDOK, L"C:\\Target"},
      {"Enter in the edit box accepts what was typed", L"D:\\Elsewhere\\sub", Action::EnterInEditBox, IDOK,
       L"D:\\Elsewhere\\sub"},
      {"a cleared edit box hands back an empty path", L"", Action::ClickExtract, IDOK, L""},
      {"a relative path is handed back unjudged", L"relative\\dir", Action::ClickExtract, IDOK, L"relative\\dir"},
      {"Escape cancels", L"X:\\typed", Action::Escape, IDCANCEL, nullptr},
      {"a close request cancels", nullptr, Action::Close, IDCANCEL, nullptr},
      {"the application-exit command cancels", nullptr, Action::AppExit, IDCANCEL, nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    const Outcome outcome = RunDialog(L"C:\\Target", [&](HWND dialog) {
      if (row.Typed != nullptr) Type(dialog, row.Typed);
      switch (row.Act) {
        case Action::Enter: PressKey(dialog, VK_RETURN); break;
        case Action::EnterInEditBox: PressKey(dialog, VK_RETURN, GetDlgItem(dialog, IDC_TARGET_PATH)); break;
        case Action::ClickExtract: Click(dialog, IDOK); break;
        case Action::Escape: PressKey(dialog, VK_ESCAPE); break;
        case Action::Close: PostMessageW(dialog, WM_CLOSE, 0, 0); break;
        case Action::AppExit: PostMessageW(dialog, WM_COMMAND, IDM_APP_EXIT, 0); break;
      }
    });
    EXPECT_EQ(outcome.CaptionSeen, L"Example Setup") << "the title, never the template's placeholder";
    EXPECT_EQ(outcome.PathSeen, L"C:\\Target") << "opens prefilled";
    EXPECT_EQ(outcome.Result, row.Result);
    if (row.Path != nullptr) {
      EXPECT_EQ(outcome.Path, row.Path);
    }
  }
}

TEST_F(ExtractToDialog, WidensTheEditBoxAndKeepsTheButtonsAtTheRightEdge) {
  struct Seen {
    SIZE Opened{}, AfterShrink{};
    RECT Client{}, WideClient{};
    RECT Edit{}, WideEdit{}, Label{}, WideLabel{};
    RECT Buttons[3]{}, WideButtons[3]{};
    RECT Grip{}, WideGrip{};
    bool GripVisible = false, GripHiddenMaximised = false, GripBackRestored = false;
    bool ModalFrame = false;
  } seen;
  const int buttons[3] = {IDC_BROWSE, IDOK, IDCANCEL};
  (void)RunDialog(L"", [&](HWND dialog) {
    seen.Opened = WindowSize(dialog);
    GetClientRect(dialog, &seen.Client);
    seen.Edit = ControlRect(dialog, IDC_TARGET_PATH);
    seen.Label = ControlRect(dialog, 0xFFFF);
    for (int i = 0; i < 3; ++i) seen.Buttons[i] = ControlRect(dialog, buttons[i]);
    seen.Grip = ControlRect(dialog, IDC_SIZE_GRIP);
    seen.GripVisible = IsWindowVisible(GetDlgItem(dialog, IDC_SIZE_GRIP)) != FALSE;
    seen.ModalFrame = (GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME) != 0;

    SetWindowPos(dialog, nullptr, 0, 0, 100, 40, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    seen.AfterShrink = WindowSize(dialog);

    SetWindowPos(dialog, nullptr, 0, 0, seen.Opened.cx + 120, seen.Opened.cy + 30,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    GetClientRect(dialog, &seen.WideClient);
    seen.WideEdit = ControlRect(dialog, IDC_TARGET_PATH);
    seen.WideLabel = ControlRect(dialog, 0xFFFF);
    for (int i = 0; i < 3; ++i) seen.WideButtons[i] = ControlRect(dialog, buttons[i]);
    seen.WideGrip = ControlRect(dialog, IDC_SIZE_GRIP);

    HWND grip = GetDlgItem(dialog, IDC_SIZE_GRIP);
    ShowWindow(dialog, SW_MAXIMIZE);
    seen.GripHiddenMaximised = WaitFor([&] { return !IsWindowVisible(grip); });
    ShowWindow(dialog, SW_RESTORE);
    seen.GripBackRestored = WaitFor([&] { return IsWindowVisible(grip) != FALSE; });
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  });

  EXPECT_TRUE(seen.ModalFrame);
  EXPECT_EQ(seen.AfterShrink.cx, seen.Opened.cx) << "shrinking below the opening size is refused";
  EXPECT_EQ(seen.AfterShrink.cy, seen.Opened.cy);
  const int dx = seen.WideClient.right - seen.Client.right;
  ASSERT_EQ(dx, 120);
  EXPECT_EQ(seen.WideEdit.left, seen.Edit.left);
  EXPECT_EQ(seen.WideEdit.right, seen.Edit.right + dx) << "the edit box takes the extra width";
  EXPECT_TRUE(EqualRect(&seen.WideLabel, &seen.Label)) << "the label stays";
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(buttons[i]);
    EXPECT_EQ(seen.WideClient.right - seen.WideButtons[i].left, seen.Client.right - seen.Buttons[i].left)
        << "same distance from the right edge";
    EXPECT_EQ(seen.WideButtons[i].right - seen.WideButtons[i].left, seen.Buttons[i].right - seen.Buttons[i].left);
    EXPECT_EQ(seen.WideButtons[i].top, seen.Buttons[i].top) << "nothing moves vertically";
  }
  EXPECT_TRUE(seen.GripVisible);
  EXPECT_EQ(seen.Grip.right, seen.Client.right) << "the grip sits in the bottom-right corner";
  EXPECT_EQ(seen.Grip.bottom, seen.Client.bottom);
  EXPECT_EQ(seen.WideGrip.right, seen.WideClient.right) << "and follows it";
  EXPECT_EQ(seen.WideGrip.bottom, seen.WideClient.bottom);
  EXPECT_TRUE(seen.GripHiddenMaximised) << "maximising hides the grip";
  EXPECT_TRUE(seen.GripBackRestored) << "restoring shows it again";
}

// The folder browser is a dialog of this process other than the extract-to
// dialog, with an OK button.
HWND WaitForBrowser(HWND owner) {
  HWND browser = nullptr;
  (void)WaitFor([&] { return (browser = FindDialog(GetCurrentProcessId(), IDOK, owner)) != nullptr; });
  return browser;
}

struct TextSearch {
  const std::wstring* Text;
  bool Found;
};

BOOL CALLBACK MatchText(HWND child, LPARAM context) {
  auto* search = reinterpret_cast<TextSearch*>(context);
  if (WindowText(child) == *search->Text) search->Found = true;
  return !search->Found;
}

bool HasChildWithText(HWND window, const std::wstring& text) {
  TextSearch search{&text, false};
  EnumChildWindows(window, &MatchText, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

// Whether the browser's folder tree shows an item named `name`: it is then
// expanded down to it.
bool TreeShows(HWND browser, const std::wstring& name) {
  HWND tree = FindWindowExW(browser, nullptr, WC_TREEVIEWW, nullptr);
  if (tree == nullptr) return false;
  auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_FIRSTVISIBLE, 0));
  for (; item != nullptr;
       item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXTVISIBLE,
                                                       reinterpret_cast<LPARAM>(item)))) {
    wchar_t text[MAX_PATH] = {};
    TVITEMW query{};
    query.mask = TVIF_TEXT;
    query.hItem = item;
    query.pszText = text;
    query.cchTextMax = MAX_PATH;
    if (SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&query)) && name == text) return true;
  }
  return false;
}

TEST_F(ExtractToDialog, FolderBrowserPicksAFolderOrChangesNothing) {
  // Only folders that have long existed: Wine's browser knows a folder's
  // contents as they were when it first listed them.
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring opening = system;
  const std::wstring leaf = opening.substr(opening.find_last_of(L'\\') + 1);
  wchar_t windows[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  const std::wstring folder = windows;
  PIDLIST_ABSOLUTE drives = nullptr;
  ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &drives), S_OK);

  struct Seen {
    bool Opened = false;
    bool ShowsTitle = false;
    bool ShowsFolder = false;
    std::wstring AfterCancel, AfterPick, AfterVirtual;
  } seen;
  const Outcome outcome = RunDialog(opening, [&](HWND dialog) {
    HWND edit = GetDlgItem(dialog, IDC_TARGET_PATH);
    auto browse = [&](const std::function<void(HWND)>& act) {
      Click(dialog, IDC_BROWSE);
      HWND browser = WaitForBrowser(dialog);
      if (browser == nullptr) return;
      seen.Opened = true;
      act(browser);
      (void)WaitFor([&] { return !IsWindow(browser); });
    };
    browse([&](HWND browser) {
      seen.ShowsTitle = HasChildWithText(browser, L"Specify a location for the files to be extracted.");
      seen.ShowsFolder = WaitFor([&] { return TreeShows(browser, leaf); });
      PostMessageW(browser, WM_COMMAND, IDCANCEL, 0);
    });
    seen.AfterCancel = WindowText(edit);
    Type(dialog, L"C:\\somewhere\\else");
    browse([&](HWND browser) {
      SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
      PostMessageW(browser, WM_COMMAND, IDOK, 0);
    });
    seen.AfterPick = WindowText(edit);
    browse([&](HWND browser) {
      SendMessageW(browser, BFFM_SETSELECTIONW, FALSE, reinterpret_cast<LPARAM>(drives));
      PostMessageW(browser, WM_COMMAND, IDOK, 0);
    });
    seen.AfterVirtual = WindowText(edit);
    Click(dialog, IDOK);
  });
  CoTaskMemFree(drives);

  ASSERT_TRUE(seen.Opened);
  EXPECT_TRUE(seen.ShowsTitle);
  EXPECT_TRUE(seen.ShowsFolder) << "the browser opens on the folder in the edit box";
  EXPECT_EQ(seen.AfterCancel, opening) << "a cancelled browser changes nothing";
  EXPECT_EQ(_wcsicmp(seen.AfterPick.c_str(), folder.c_str()), 0) << "a picked folder lands in the edit box, not: " << testing::PrintToString(seen.AfterPick);
  EXPECT_EQ(seen.AfterVirtual, seen.AfterPick) << "a folder without a path changes nothing";
  EXPECT_EQ(outcome.Result, IDOK);
  EXPECT_EQ(outcome.Path, seen.AfterPick);
}

}  // namespace
