// SPDX-License-Identifier: Apache-2.0
// What every dialog of the stub shares: it is made from a template in the
// stub's resources, carries the title its caller gives as its caption, opens
// centred and can be made larger, never smaller than it opened.
//
// A dialog class derives from Dialog and brings its template id, its resize
// map and its own handlers; the window procedure, the caption, the centring
// and the resizing live here.
#pragma once

#include <windows.h>

#include <span>
#include <string>

#include "support/vm_status.h"
#include "ui/dialog_resize.h"

class Dialog {
 public:
  virtual ~Dialog();
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Runs the dialog modally with the caption `title`: the value given to
  // EndDialog, or 0 or -1 when it could not be shown (as DialogBoxParamW
  // reports).
  [[nodiscard]] INT_PTR ShowModal(HINSTANCE instance, HWND owner, const std::wstring& title);

  // Creates the dialog modeless with the caption `title`; the caller's
  // message loop must pass its messages through IsDialogMessageW.
  [[nodiscard]] velmora::VMStatus Create(HINSTANCE instance, HWND owner, const std::wstring& title);
  void Destroy();

  [[nodiscard]] HWND Handle() const { return window_; }

 protected:
  Dialog(WORD templateId, std::span<const DialogResize::Item> resizeMap)
      : templateId_(templateId), resize_(resizeMap) {}

  // The dialog's own part of WM_INITDIALOG, after the caption is set. False
  // when the dialog ended itself; it is then neither centred nor made
  // resizable.
  virtual bool OnInitDialog() = 0;
  // WM_COMMAND: true when handled.
  virtual bool OnCommand(WORD id, WORD notification) = 0;

  void End(INT_PTR result) { EndDialog(window_, result); }

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  WORD templateId_;
  DialogResize resize_;
  // The caption, read while the dialog is made: the dialog manager sends
  // WM_INITDIALOG before ShowModal or Create returns.
  const wchar_t* title_ = nullptr;
  HWND window_ = nullptr;
};
