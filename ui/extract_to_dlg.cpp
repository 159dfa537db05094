// SPDX-License-Identifier: Apache-2.0
#include "ui/extract_to_dlg.h"

#include <ole2.h>
#include <shlobj.h>

#include "ui/resource_ids.h"

namespace {
using namespace dialog_resize;
constexpr DialogResize::Item kResizeMap[] = {
    {IDC_TARGET_PATH, DLSZ_SIZE_X | DLSZ_REPAINT},
    {IDC_BROWSE, DLSZ_MOVE_X | DLSZ_REPAINT},
    {IDOK, DLSZ_MOVE_X | DLSZ_REPAINT},
    {IDCANCEL, DLSZ_MOVE_X | DLSZ_REPAINT},
};

constexpr wchar_t kBrowseTitle[] = L"Specify a location for the files to be extracted.";

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}
}  // namespace

ExtractToDlg::ExtractToDlg() : Dialog(IDD_EXTRACT_TO, kResizeMap) {}

bool ExtractToDlg::OnInitDialog() {
  edit_ = GetDlgItem(Handle(), IDC_TARGET_PATH);
  // EN_CHANGE stores the same text back into Path.
  if (!Path.empty()) SetWindowTextW(edit_, Path.c_str());
  return true;
}

bool ExtractToDlg::OnCommand(WORD id, WORD notification) {
  switch (id) {
    case IDOK:
      End(IDOK);
      return true;
    case IDCANCEL:
    case IDM_APP_EXIT:
      End(IDCANCEL);
      return true;
    case IDC_BROWSE:
      Browse();
      return true;
    case IDC_TARGET_PATH:
      if (notification != EN_CHANGE) return false;
      Path = WindowText(edit_);
      return true;
    default:
      return false;
  }
}

void ExtractToDlg::Browse() {
  // The browser's new style hosts shell views that need OLE on this thread.
  if (FAILED(OleInitialize(nullptr))) return;
  BROWSEINFOW info{};
  info.hwndOwner = Handle();
  info.lpszTitle = kBrowseTitle;
  info.ulFlags = BIF_NEWDIALOGSTYLE;
  info.lpfn = &BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(this);
  if (PIDLIST_ABSOLUTE picked = SHBrowseForFolderW(&info)) {
    // A virtual folder (such as the list of drives) has no path and changes
    // nothing.
    wchar_t folder[MAX_PATH] = {};
    if (SHGetPathFromIDListW(picked, folder)) SetWindowTextW(edit_, folder);  // EN_CHANGE takes it into Path
    CoTaskMemFree(picked);
  }
  OleUninitialize();
}

int CALLBACK ExtractToDlg::BrowseCallback(HWND browser, UINT message, LPARAM /*lParam*/, LPARAM data) {
  switch (message) {
    case BFFM_INITIALIZED: {
      // Open on the folder in the edit box; a path that does not exist leaves
      // the browser at its default place.
      const auto* self = reinterpret_cast<const ExtractToDlg*>(data);
      if (self->Path.empty()) return 0;
      PIDLIST_ABSOLUTE item = nullptr;
      SFGAOF attributes = 0;
      if (SUCCEEDED(SHParseDisplayName(self->Path.c_str(), nullptr, &item, SFGAO_FILESYSTEM, &attributes)) &&
          item != nullptr) {
        SendMessageW(browser, BFFM_SETEXPANDED, FALSE, reinterpret_cast<LPARAM>(item));
        CoTaskMemFree(item);
      }
      return 0;
    }
    case BFFM_VALIDATEFAILEDW:
      return 1;  // keep the browser open
    default:
      return 0;
  }
}
