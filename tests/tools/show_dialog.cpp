// SPDX-License-Identifier: Apache-2.0
// showdialog KIND GEOMETRY-FILE SECONDS: opens one of the stub's dialogs as a
// user sees it, for the pictures in docs/dialogs.md. KIND is "progress",
// "extract-to" or "language". Once the dialog is on the screen, its window rectangle is
// written to GEOMETRY-FILE as WIDTHxHEIGHT+X+Y; after SECONDS more the dialog
// closes and the program ends.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>

#include "config/cfg.h"
#include "tests/tools/window_driver.h"
#include "support/vm_win_ui_language_mgr.h"
#include "ui/extract_to_dlg.h"
#include "ui/language_dlg.h"
#include "ui/progress_dlg.h"
#include "ui/resource_ids.h"

namespace {

// Three languages with the names Windows gives them, the user's own
// preselected.
class ExampleLanguages final : public velmora::VMWinUiLanguageMgr {
 public:
  velmora::VMStatus LoadAvailableLanguages() override {
    for (const wchar_t* tag : {L"de-DE", L"en-US", L"fr-FR"}) {
      velmora::LanguageInfo entry;
      if (entry.ParseLanguageTag(tag) == velmora::status::Ok) AvailableLanguages.push_back(std::move(entry));
    }
    return velmora::status::Ok;
  }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: showdialog progress|extract-to|language GEOMETRY-FILE SECONDS\n");
    return 2;
  }
  const std::wstring kind = argv[1];
  const std::wstring geometryFile = argv[2];
  const DWORD seconds = static_cast<DWORD>(_wtoi(argv[3]));
  const bool progress = kind == L"progress";
  const bool language = kind == L"language";
  if (!progress && !language && kind != L"extract-to") return 2;

  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES | ICC_COOL_CLASSES};
  InitCommonControlsEx(&controls);
  TheCfg().Title = L"Example Setup";
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  const DWORD uiThread = GetCurrentThreadId();

  testing_tools::BackgroundThread photographer([&] {
    const int control = progress ? IDC_PROGRESS_BAR : language ? IDC_LANGUAGE_LIST : IDC_TARGET_PATH;
    HWND dialog = testing_tools::WaitForDialog(GetCurrentProcessId(), control);
    if (dialog == nullptr) return;
    SetForegroundWindow(dialog);
    Sleep(500);  // let it paint
    RECT r{};
    GetWindowRect(dialog, &r);
    if (FILE* out = _wfopen(geometryFile.c_str(), L"w")) {
      std::fprintf(out, "%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
      std::fclose(out);
    }
    Sleep(seconds * 1000);
    if (progress) {
      PostThreadMessageW(uiThread, WM_QUIT, 0, 0);
    } else {
      // The language dialog has no Cancel; the exit command closes it.
      PostMessageW(dialog, WM_COMMAND, language ? IDM_APP_EXIT : IDCANCEL, 0);
    }
  });

  if (language) {
    ExampleLanguages languages;
    if (languages.LoadAvailableLanguages() != 0 || languages.SelectByUserUiLanguage() != 0) return 1;
    LanguageDlg dialog(languages);
    return dialog.ShowModal(instance, nullptr, TheCfg().Title) > 0 ? 0 : 1;
  }
  if (!progress) {
    ExtractToDlg dialog;
    dialog.Path = L"C:\\Program Files\\Example";
    return dialog.ShowModal(instance, nullptr, TheCfg().Title) == IDCANCEL ? 0 : 1;
  }
  ProgressDlg dialog;
  if (dialog.Create(instance, nullptr, TheCfg().Title) != 0) return 1;
  ShowWindow(dialog.Handle(), SW_SHOWNORMAL);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(dialog.Handle(), &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
