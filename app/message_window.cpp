// SPDX-License-Identifier: Apache-2.0
#include "app/message_window.h"

#include "support/vm_status.h"
#include "tasks/task_worker.h"

namespace {
// A fixed class name in registry GUID form. It names this window class only;
// nothing else (no mutex, no folder) is derived from it.
constexpr wchar_t kClassName[] = L"{5C0E7A1B-3F4D-4E8A-9B62-D17A0C4F8E93}";
}  // namespace

MessageWindow::MessageWindow(HINSTANCE instance, MessageHandler& owner)
    : instance_(instance), owner_(&owner), className_(kClassName) {}

velmora::VMStatus MessageWindow::Create() {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = &WindowProc;
  windowClass.hInstance = instance_;
  windowClass.lpszClassName = className_.c_str();
  VM_RETURN_LAST_ERROR_IF(RegisterClassExW(&windowClass) == 0);
  registered_ = true;

  window_ = CreateWindowExW(0, className_.c_str(), L"", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance_, this);
  if (window_ == nullptr) {
    const velmora::VMStatus error = velmora::LastErrorOr();
    Destroy();
    return error;
  }
  return velmora::status::Ok;
}

void MessageWindow::Destroy() {
  if (window_ != nullptr) {
    SendMessageW(window_, WM_CLOSE, 0, 0);
    window_ = nullptr;
  }
  if (registered_) {
    UnregisterClassW(className_.c_str(), instance_);
    registered_ = false;
  }
}

LRESULT CALLBACK MessageWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<MessageWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self != nullptr && (message == WM_TIMER || message == WM_TASK_PROGRESS)) {
    return self->owner_->HandleMessage(message, wParam, lParam);
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
