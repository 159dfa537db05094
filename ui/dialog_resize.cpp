// SPDX-License-Identifier: Apache-2.0
#include "ui/dialog_resize.h"

#include "ui/resource_ids.h"

using namespace dialog_resize;

namespace {
constexpr DWORD kGripStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_GROUP | SBS_SIZEBOX | SBS_SIZEGRIP |
                             SBS_SIZEBOXBOTTOMRIGHTALIGN;
static_assert(kGripStyle == 0x5402001C);
}  // namespace

void DialogResize::Init(HWND dialog) {
  dialog_ = dialog;
  grip_ = nullptr;
  controls_.clear();

  // A top-level dialog gets the modal frame, and a null small icon so that
  // the caption shows no empty icon.
  if ((GetWindowLongW(dialog, GWL_STYLE) & WS_CHILD) == 0) {
    SetWindowLongW(dialog, GWL_EXSTYLE, GetWindowLongW(dialog, GWL_EXSTYLE) | WS_EX_DLGMODALFRAME);
    if (SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0) == 0) SendMessageW(dialog, WM_SETICON, ICON_SMALL, 0);
    SetWindowPos(dialog, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  RECT client{};
  GetClientRect(dialog, &client);
  initialClient_ = {client.right, client.bottom};

  // The grip aligns itself to the bottom-right corner of the rectangle it is
  // given, so it is given the whole client area.
  grip_ = CreateWindowExW(0, L"SCROLLBAR", nullptr, kGripStyle, 0, 0, client.right, client.bottom, dialog,
                          reinterpret_cast<HMENU>(static_cast<UINT_PTR>(IDC_SIZE_GRIP)), nullptr, nullptr);
  if (grip_ != nullptr) Record(grip_, DLSZ_MOVE_X | DLSZ_MOVE_Y | DLSZ_REPAINT);

  RECT window{};
  GetWindowRect(dialog, &window);
  minTrackSize_ = {window.right - window.left, window.bottom - window.top};

  for (const Item& item : map_) {
    if (HWND control = GetDlgItem(dialog, item.Id)) Record(control, item.Flags);
  }
}

void DialogResize::Record(HWND control, UINT flags) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&rect), 2);
  controls_.push_back({control, flags, rect});
}

void DialogResize::OnSize(UINT sizeType, int clientWidth, int clientHeight) {
  if (dialog_ == nullptr || sizeType == SIZE_MINIMIZED) return;
  // A maximised window cannot be dragged, so its grip would only mislead.
  if (grip_ != nullptr) ShowWindow(grip_, sizeType == SIZE_MAXIMIZED ? SW_HIDE : SW_SHOW);

  const int dx = clientWidth - initialClient_.cx;
  const int dy = clientHeight - initialClient_.cy;
  for (const Placed& placed : controls_) {
    RECT r = placed.Initial;
    if (placed.Flags & DLSZ_SIZE_X) r.right += dx;
    if (placed.Flags & DLSZ_SIZE_Y) r.bottom += dy;
    if (placed.Flags & DLSZ_MOVE_X) OffsetRect(&r, dx, 0);
    if (placed.Flags & DLSZ_MOVE_Y) OffsetRect(&r, 0, dy);
    SetWindowPos(placed.Control, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    if (placed.Flags & DLSZ_REPAINT) InvalidateRect(placed.Control, nullptr, TRUE);
  }
}

void DialogResize::OnGetMinMaxInfo(MINMAXINFO& info) const {
  if (minTrackSize_.x != 0 || minTrackSize_.y != 0) info.ptMinTrackSize = minTrackSize_;
}
