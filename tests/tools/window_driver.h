// SPDX-License-Identifier: Apache-2.0
// Drives real windows from a test: finds a dialog, reads what it shows, sends
// it keys and commands. Windows under Wine, more so under emulation, appear
// and go away slowly, so every lookup polls with a timeout.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace testing_tools {

inline constexpr DWORD kWindowTimeoutMs = 30000;

// Polls `condition` until it holds; false when `timeoutMs` passed first.
[[nodiscard]] bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = kWindowTimeoutMs);

// Whether `window` is a visible dialog of process `processId` with a child
// `controlId`.
[[nodiscard]] bool IsVisibleDialogOf(HWND window, DWORD processId, int controlId);

// The first visible top-level dialog of process `processId` that has a child
// with `controlId` (and, when given, is not `except`), or nullptr.
[[nodiscard]] HWND FindDialog(DWORD processId, int controlId, HWND except = nullptr);
[[nodiscard]] HWND WaitForDialog(DWORD processId, int controlId, DWORD timeoutMs = kWindowTimeoutMs);

// The text of any window, a control of another process included.
[[nodiscard]] std::wstring WindowText(HWND window);
// A control's rectangle in the client coordinates of its dialog.
[[nodiscard]] RECT ControlRect(HWND dialog, int controlId);
[[nodiscard]] SIZE WindowSize(HWND window);

// Presses and releases `key` in `target`, or, when that is nullptr, in the
// window that has the keyboard focus in `dialog`'s thread (the dialog itself
// when nothing has).
void PressKey(HWND dialog, WORD key, HWND target = nullptr);
// Posts WM_COMMAND for a click on the control `id`.
void Click(HWND dialog, int id);

// Runs `body` on a thread of its own; the destructor waits for it.
class BackgroundThread {
 public:
  explicit BackgroundThread(std::function<void()> body);
  ~BackgroundThread();
  BackgroundThread(const BackgroundThread&) = delete;
  BackgroundThread& operator=(const BackgroundThread&) = delete;

 private:
  static DWORD WINAPI Run(void* self);

  std::function<void()> body_;
  HANDLE thread_ = nullptr;
};

}  // namespace testing_tools
