// SPDX-License-Identifier: Apache-2.0
// The hidden window through which the worker thread and the timer reach the
// user-interface thread. It passes WM_TIMER and the task-progress message to
// its owner and everything else to the default procedure.
#pragma once

#include <windows.h>

#include <string>

#include "app/message_handler.h"
#include "support/vm_status.h"

class MessageWindow {
 public:
  MessageWindow(HINSTANCE instance, MessageHandler& owner);
  ~MessageWindow() { Destroy(); }
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  [[nodiscard]] velmora::VMStatus Create();
  void Destroy();
  [[nodiscard]] HWND Handle() const { return window_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HINSTANCE instance_;
  MessageHandler* owner_;
  HWND window_ = nullptr;
  std::wstring className_;
  bool registered_ = false;
};
