// SPDX-License-Identifier: Apache-2.0
#include "ui/center_window.h"

void CenterWindow(HWND window) {
  HWND reference = GetParent(window);
  if (reference == nullptr) reference = GetWindow(window, GW_OWNER);
  // A hidden or minimised owner is no place to look for the dialog.
  if (reference != nullptr && (!IsWindowVisible(reference) || IsIconic(reference))) reference = nullptr;

  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  if (!GetMonitorInfoW(MonitorFromWindow(reference != nullptr ? reference : window, MONITOR_DEFAULTTONEAREST),
                       &monitor)) {
    return;
  }
  const RECT& work = monitor.rcWork;
  RECT center = work;
  if (reference != nullptr) GetWindowRect(reference, &center);

  RECT own{};
  GetWindowRect(window, &own);
  const int width = own.right - own.left;
  const int height = own.bottom - own.top;
  int left = (center.left + center.right) / 2 - width / 2;
  int top = (center.top + center.bottom) / 2 - height / 2;
  // Keep the whole window on the monitor; when it is larger than the work
  // area, its top-left corner (and so the caption) stays visible.
  if (left + width > work.right) left = work.right - width;
  if (top + height > work.bottom) top = work.bottom - height;
  if (left < work.left) left = work.left;
  if (top < work.top) top = work.top;

  SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
