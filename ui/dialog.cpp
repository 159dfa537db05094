// SPDX-License-Identifier: Apache-2.0
#include "ui/dialog.h"

#include "ui/center_window.h"

Dialog::~Dialog() {
  // The derived part is gone already: the window must not reach its handlers
  // while it is torn down.
  if (window_ != nullptr) {
    SetWindowLongPtrW(window_, DWLP_USER, 0);
    DestroyWindow(window_);
  }
}

INT_PTR Dialog::ShowModal(HINSTANCE instance, HWND owner, const std::wstring& title) {
  title_ = title.c_str();
  return DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId_), owner, &DialogProc,
                         reinterpret_cast<LPARAM>(this));
}

velmora::VMStatus Dialog::Create(HINSTANCE instance, HWND owner, const std::wstring& title) {
  title_ = title.c_str();
  const HWND window = CreateDialogParamW(instance, MAKEINTRESOURCEW(templateId_), owner, &DialogProc,
                                         reinterpret_cast<LPARAM>(this));
  VM_RETURN_LAST_ERROR_IF(window == nullptr);
  return velmora::status::Ok;
}

void Dialog::Destroy() {
  if (window_ != nullptr) DestroyWindow(window_);
}

INT_PTR CALLBACK Dialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // The object arrives with WM_INITDIALOG and is attached before any of its
  // handlers runs; the few messages before it get default processing.
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    reinterpret_cast<Dialog*>(lParam)->window_ = window;
  }
  auto* self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(window, DWLP_USER));
  if (self == nullptr) return FALSE;
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, DWLP_USER, 0);
    self->window_ = nullptr;
    return FALSE;
  }
  return self->HandleMessage(message, wParam, lParam) ? TRUE : FALSE;
}

bool Dialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      SetWindowTextW(window_, title_);
      if (OnInitDialog()) {
        CenterWindow(window_);
        resize_.Init(window_);
      }
      return true;  // the dialog manager sets the default focus
    case WM_COMMAND:
      return OnCommand(LOWORD(wParam), HIWORD(wParam));
    case WM_SIZE:
      resize_.OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
      return true;
    case WM_GETMINMAXINFO:
      resize_.OnGetMinMaxInfo(*reinterpret_cast<MINMAXINFO*>(lParam));
      return true;
    default:
      return false;
  }
}
