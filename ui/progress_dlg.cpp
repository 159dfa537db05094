#include "ui/progress_dlg.h"

#include <commctrl.h>

#include "config/cfg.h"
#include "ui/resource_ids.h"

velmora::VMStatus ProgressDlg::Create(HINSTANCE instance) {
  const HWND window = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_PROGRESS), nullptr, &DialogProc,
                                         reinterpret_cast<LPARAM>(this));
  VM_RETURN_LAST_ERROR_IF(window == nullptr);
  return velmora::status::Ok;
}

void ProgressDlg::Destroy() {
  if (window_ != nullptr) DestroyWindow(window_);
}

INT_PTR CALLBACK ProgressDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<ProgressDlg*>(lParam);
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    self->window_ = window;
  }
  auto* self = reinterpret_cast<ProgressDlg*>(GetWindowLongPtrW(window, DWLP_USER));
  if (self == nullptr) return FALSE;
  const INT_PTR handled = self->OnMessage(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    self->window_ = nullptr;
    self->progressBar_ = nullptr;
  }
  return handled;
}

INT_PTR ProgressDlg::OnMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog();
      return TRUE;
    case WM_COMMAND:
      // Enter, Escape and close requests arrive as IDOK or IDCANCEL; the run
      // cannot be stopped, so they do nothing.
      return LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL;
    default:
      return FALSE;
  }
}

void ProgressDlg::OnInitDialog() {
  progressBar_ = GetDlgItem(window_, IDC_PROGRESS_BAR);
  SetWindowTextW(window_, TheCfg().Title.c_str());
  SendMessageW(progressBar_, PBM_SETMARQUEE, TRUE, 0);
  ShowWindow(window_, SW_HIDE);
}
