// SPDX-License-Identifier: Apache-2.0
#include "tests/tools/window_driver.h"

namespace testing_tools {
namespace {

struct DialogSearch {
  DWORD ProcessId;
  int ControlId;
  HWND Except;
  HWND Found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<DialogSearch*>(context);
  if (window != search->Except && IsVisibleDialogOf(window, search->ProcessId, search->ControlId)) {
    search->Found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

bool IsVisibleDialogOf(HWND window, DWORD processId, int controlId) {
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t className[16] = {};
  GetClassNameW(window, className, static_cast<int>(std::size(className)));
  return owner == processId && IsWindowVisible(window) && std::wstring(className) == L"#32770" &&
         GetDlgItem(window, controlId) != nullptr;
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() > deadline) return false;
    Sleep(20);
  }
}

HWND FindDialog(DWORD processId, int controlId, HWND except) {
  DialogSearch search{processId, controlId, except, nullptr};
  EnumWindows(&MatchDialog, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

HWND WaitForDialog(DWORD processId, int controlId, DWORD timeoutMs) {
  HWND found = nullptr;
  (void)WaitFor([&] { return (found = FindDialog(processId, controlId)) != nullptr; }, timeoutMs);
  return found;
}

std::wstring WindowText(HWND window) {
  // GetWindowTextW reads only the caption of another process's window, not
  // what an edit box holds; WM_GETTEXT asks the control itself.
  wchar_t buffer[1024] = {};
  DWORD_PTR copied = 0;
  // A slow machine may keep the window's thread busy for seconds; a thread
  // that reads as hung there still answers in the end.
  SendMessageTimeoutW(window, WM_GETTEXT, std::size(buffer), reinterpret_cast<LPARAM>(buffer), SMTO_NORMAL,
                      60000, &copied);
  return buffer;
}

RECT ControlRect(HWND dialog, int controlId) {
  RECT rect{};
  GetWindowRect(GetDlgItem(dialog, controlId), &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

SIZE WindowSize(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

void PressKey(HWND dialog, WORD key, HWND target) {
  if (target == nullptr) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) && info.hwndFocus != nullptr &&
        (info.hwndFocus == dialog || IsChild(dialog, info.hwndFocus))) {
      target = info.hwndFocus;
    } else {
      target = dialog;
    }
  }
  const UINT scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
  PostMessageW(target, WM_KEYDOWN, key, 1 | (scan << 16));
  PostMessageW(target, WM_KEYUP, key, 1 | (scan << 16) | (3u << 30));
}

void Click(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

BackgroundThread::BackgroundThread(std::function<void()> body) : body_(std::move(body)) {
  thread_ = CreateThread(nullptr, 0, &Run, this, 0, nullptr);
}

DWORD WINAPI BackgroundThread::Run(void* self) {
  static_cast<BackgroundThread*>(self)->body_();
  return 0;
}

BackgroundThread::~BackgroundThread() {
  if (thread_ != nullptr) {
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
  }
}

}  // namespace testing_tools
