// SPDX-License-Identifier: Apache-2.0
// What makes a dialog resizable: a size grip in the bottom-right corner, a
// minimum size equal to the size it opened with, and controls that move or
// stretch horizontally with the right edge. Nothing moves or grows
// vertically; a taller dialog only gets empty space at the bottom.
#pragma once

#include <windows.h>

#include <span>
#include <vector>

namespace dialog_resize {
// How a control follows a change of the dialog's client size.
inline constexpr UINT DLSZ_SIZE_X = 0x01;
inline constexpr UINT DLSZ_SIZE_Y = 0x02;
inline constexpr UINT DLSZ_MOVE_X = 0x04;
inline constexpr UINT DLSZ_MOVE_Y = 0x08;
inline constexpr UINT DLSZ_REPAINT = 0x10;
}  // namespace dialog_resize

class DialogResize {
 public:
  // One line of a dialog's resize map.
  struct Item {
    int Id;
    UINT Flags;
  };

  explicit DialogResize(std::span<const Item> map) : map_(map) {}

  // At the end of WM_INITDIALOG: frame and icon, size grip, minimum size and
  // the controls' opening rectangles.
  void Init(HWND dialog);
  void OnSize(UINT sizeType, int clientWidth, int clientHeight);
  void OnGetMinMaxInfo(MINMAXINFO& info) const;

 private:
  struct Placed {
    HWND Control;
    UINT Flags;
    RECT Initial;  // client coordinates when the dialog opened
  };

  void Record(HWND control, UINT flags);

  std::span<const Item> map_;
  HWND dialog_ = nullptr;
  HWND grip_ = nullptr;
  SIZE initialClient_{};
  POINT minTrackSize_{};  // zero until Init: no minimum
  std::vector<Placed> controls_;
};
