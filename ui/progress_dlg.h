// The modeless window that stands while the tasks run: the application title
// and a marquee bar, nothing to click. It starts hidden; the run sequence
// shows or hides it at each task start.
#pragma once

#include <windows.h>

#include "support/vm_status.h"

class ProgressDlg {
 public:
  ProgressDlg() = default;
  ~ProgressDlg() = default;
  ProgressDlg(const ProgressDlg&) = delete;
  ProgressDlg& operator=(const ProgressDlg&) = delete;

  // Creates the window from its template, without owner, hidden.
  [[nodiscard]] velmora::VMStatus Create(HINSTANCE instance);
  void Destroy();
  [[nodiscard]] HWND Handle() const { return window_; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog();

  HWND window_ = nullptr;
  HWND progressBar_ = nullptr;
};
