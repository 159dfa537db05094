// SPDX-License-Identifier: Apache-2.0
// The progress dialog on its own and during a real task phase.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <memory>

#include "app/app.h"
#include "config/cfg.h"
#include "tasks/task.h"
#include "tests/tools/window_driver.h"
#include "ui/progress_dlg.h"
#include "ui/resource_ids.h"

namespace {

using testing_tools::ControlRect;
using testing_tools::WaitFor;
using testing_tools::WindowSize;

TEST(ProgressDialog, OpensHiddenWithTheTitleAndAMarquee) {
  TheCfg().Title = L"Example Setup";
  ProgressDlg dialog;
  ASSERT_EQ(dialog.Create(GetModuleHandleW(nullptr), nullptr, TheCfg().Title), 0u);
  HWND window = dialog.Handle();
  EXPECT_FALSE(IsWindowVisible(window)) << "shown only when a task asks for it";
  EXPECT_EQ(testing_tools::WindowText(window), L"Example Setup");
  HWND bar = GetDlgItem(window, IDC_PROGRESS_BAR);
  EXPECT_NE(GetWindowLongW(bar, GWL_STYLE) & PBS_MARQUEE, 0);
  EXPECT_NE(GetDlgItem(window, IDC_SIZE_GRIP), nullptr);
  EXPECT_NE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME, 0);
  dialog.Destroy();
  EXPECT_EQ(dialog.Handle(), nullptr);
  EXPECT_FALSE(IsWindow(window));
}

TEST(ProgressDialog, GrowsWiderWithTheBarButNeverSmaller) {
  ProgressDlg dialog;
  ASSERT_EQ(dialog.Create(GetModuleHandleW(nullptr), nullptr, TheCfg().Title), 0u);
  HWND window = dialog.Handle();
  const SIZE opened = WindowSize(window);
  const RECT bar = ControlRect(window, IDC_PROGRESS_BAR);

  SetWindowPos(window, nullptr, 0, 0, opened.cx / 2, opened.cy / 2, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(WindowSize(window).cx, opened.cx) << "no narrower than it opened";
  EXPECT_EQ(WindowSize(window).cy, opened.cy) << "no lower than it opened";

  SetWindowPos(window, nullptr, 0, 0, opened.cx + 100, opened.cy + 20, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  const RECT wider = ControlRect(window, IDC_PROGRESS_BAR);
  EXPECT_EQ(wider.left, bar.left);
  EXPECT_EQ(wider.right, bar.right + 100) << "the bar takes the whole extra width";
  EXPECT_EQ(wider.top, bar.top) << "nothing moves vertically";
  EXPECT_EQ(wider.bottom, bar.bottom);
}

// A task that plays a user trying to get rid of the progress window.
class ImpatientUser final : public Task {
 public:
  explicit ImpatientUser(const App& app) : app_(app) { HideProgress = false; }

  velmora::VMStatus run(std::uint32_t& exitCodeOut) override {
    exitCodeOut = 0;
    const HWND dialog = app_.ProgressWindow();
    Shown = WaitFor([&] { return IsWindowVisible(dialog) != FALSE; });
    testing_tools::PressKey(dialog, VK_ESCAPE, dialog);
    testing_tools::PressKey(dialog, VK_RETURN, dialog);
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    SendMessageW(dialog, WM_CLOSE, 0, 0);
    SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    // The posted keys are handled some time in the next moments; the window
    // must stay through all of them.
    StayedOpen = !WaitFor([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, 1500);
    return 0;
  }

  bool Shown = false;
  bool StayedOpen = false;

 private:
  const App& app_;
};

class LaterTask final : public Task {
 public:
  velmora::VMStatus run(std::uint32_t& exitCodeOut) override {
    exitCodeOut = 7;
    Ran = true;
    return 0;
  }
  bool Ran = false;
};

TEST(ProgressDialog, EnterEscapeAndCloseLeaveItOpenAndTheRunGoing) {
  App app(GetModuleHandleW(nullptr));
  auto user = std::make_shared<ImpatientUser>(app);
  auto later = std::make_shared<LaterTask>();
  later->HideProgress = true;
  app.Tasks().push_back(user);
  app.Tasks().push_back(later);
  std::uint32_t exitCode = 0;
  EXPECT_EQ(app.RunTasks(exitCode), 0u);
  EXPECT_TRUE(user->Shown);
  EXPECT_TRUE(user->StayedOpen);
  EXPECT_TRUE(later->Ran) << "the run goes on";
  EXPECT_EQ(exitCode, 7u);
}

}  // namespace
