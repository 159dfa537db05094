// SPDX-License-Identifier: Apache-2.0
#include "ui/progress_dlg.h"

#include <commctrl.h>

#include "ui/resource_ids.h"

namespace {
using namespace dialog_resize;
constexpr DialogResize::Item kResizeMap[] = {{IDC_PROGRESS_BAR, DLSZ_SIZE_X | DLSZ_REPAINT}};
}  // namespace

ProgressDlg::ProgressDlg() : Dialog(IDD_PROGRESS, kResizeMap) {}

bool ProgressDlg::OnInitDialog() {
  progressBar_ = GetDlgItem(Handle(), IDC_PROGRESS_BAR);
  // The tasks cannot say how far they are, so the bar only shows that
  // something is going on; no range or position is ever set.
  SendMessageW(progressBar_, PBM_SETMARQUEE, TRUE, 0);
  ShowWindow(Handle(), SW_HIDE);
  return true;
}

bool ProgressDlg::OnCommand(WORD id, WORD /*notification*/) {
  // Enter, Escape and close requests arrive as IDOK or IDCANCEL. Nothing can
  // stop the tasks once they run, so the window stays as it is.
  return id == IDOK || id == IDCANCEL;
}
