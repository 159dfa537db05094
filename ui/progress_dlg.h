// SPDX-License-Identifier: Apache-2.0
// The modeless window that stands while the tasks run: the application title
// and a marquee bar, nothing to click. It starts hidden; the run sequence
// shows or hides it at each task start.
#pragma once

#include <windows.h>

#include "ui/dialog.h"

class ProgressDlg final : public Dialog {
 public:
  ProgressDlg();

 private:
  bool OnInitDialog() override;
  bool OnCommand(WORD id, WORD notification) override;

  HWND progressBar_ = nullptr;
};
