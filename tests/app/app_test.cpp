// SPDX-License-Identifier: Apache-2.0
// The run sequence in-process: what a stub without a configuration document
// decides before any task runs.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>

#include "app/app.h"
#include "app/cmd_line.h"
#include "app/error_message.h"
#include "config/cfg.h"
#include "tasks/extract_files.h"
#include "tests/tools/window_driver.h"
#include "ui/resource_ids.h"

namespace {

std::wstring CurrentFolder() {
  wchar_t buffer[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, buffer);
  return buffer;
}

class RunSequence : public ::testing::Test {
 protected:
  void TearDown() override { CmdLine::Current() = {}; }
};

// What the user saw of the extract-to dialog during a run, and did in it.
struct FolderDialogSeen {
  bool Shown = false;
  std::wstring Caption;
  std::wstring Prefilled;
};

// Runs `app` while a second thread plays the user: whenever the extract-to
// dialog comes up, `answer` acts on it.
velmora::VMStatus RunAnswering(App& app, FolderDialogSeen& seen, const std::function<void(HWND)>& answer) {
  volatile LONG done = 0;
  velmora::VMStatus result = 0;
  {
    testing_tools::BackgroundThread user([&] {
      while (InterlockedCompareExchange(&done, 0, 0) == 0) {
        if (HWND dialog = testing_tools::FindDialog(GetCurrentProcessId(), IDC_TARGET_PATH)) {
          seen.Shown = true;
          seen.Caption = testing_tools::WindowText(dialog);
          seen.Prefilled = testing_tools::WindowText(GetDlgItem(dialog, IDC_TARGET_PATH));
          answer(dialog);
          return;
        }
        Sleep(20);
      }
    });
    std::uint32_t exitCode = 0;
    result = app.Run(exitCode);
    InterlockedExchange(&done, 1);
  }
  return result;
}

TEST_F(RunSequence, WithoutDocumentUnpacksIntoTheWorkingFolderWithProgress) {
  App app(GetModuleHandleW(nullptr));
  FolderDialogSeen seen;
  const velmora::VMStatus result =
      RunAnswering(app, seen, [](HWND dialog) { testing_tools::PressKey(dialog, VK_RETURN); });

  EXPECT_EQ(TheCfg().Title, L"app_tests Self Extractor");
  EXPECT_TRUE(seen.Shown) << "the user may change the folder";
  EXPECT_EQ(seen.Caption, L"app_tests Self Extractor");
  EXPECT_EQ(seen.Prefilled, CurrentFolder());
  ASSERT_EQ(app.Tasks().size(), 1u);
  const auto* extract = dynamic_cast<const ExtractFiles*>(app.Tasks()[0].get());
  ASSERT_NE(extract, nullptr);
  EXPECT_EQ(extract->GetTargetFolder(), CurrentFolder());
  EXPECT_FALSE(extract->HideProgress);
  EXPECT_EQ(extract->MinimumDurationMs, 0u);
  EXPECT_EQ(extract->Description, L"Files are being extracted. Please wait...");
  // This program carries no payload, and the run must not claim otherwise.
  EXPECT_EQ(result, velmora::status::Failed);
}

TEST_F(RunSequence, ExtractToDialogDecidesTheTarget) {
  struct Row {
    const char* Name;
    CmdLine::SFXGuiMode Gui;
    const wchar_t* Target;  // --target
    const wchar_t* Typed;   // nullptr: Escape
    bool Shown;
    velmora::VMStatus Status;
    const wchar_t* Folder;  // of the extraction task; nullptr: no task
    bool HideProgress = false;
  };
  const Row rows[] = {
      {"the typed folder becomes the target", CmdLine::SFXGuiMode::NotGiven, nullptr, L"C:\\Chosen", true,
       velmora::status::Failed, L"C:\\Chosen"},
      {"the dialog opens on --target", CmdLine::SFXGuiMode::On, L"C:\\Given", L"C:\\Given", true,
       velmora::status::Failed, L"C:\\Given"},
      {"Escape ends the run before any task", CmdLine::SFXGuiMode::NotGiven, nullptr, nullptr, true,
       velmora::status::Cancelled, nullptr},
      {"--gui off shows no dialog", CmdLine::SFXGuiMode::Off, L"C:\\Quiet", nullptr, false,
       velmora::status::Failed, L"C:\\Quiet", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    CmdLine::Current().GuiMode = row.Gui;
    CmdLine::Current().TargetPath = row.Target != nullptr ? row.Target : L"";
    App app(GetModuleHandleW(nullptr));
    FolderDialogSeen seen;
    const velmora::VMStatus result = RunAnswering(app, seen, [&](HWND dialog) {
      if (row.Typed == nullptr) {
        testing_tools::PressKey(dialog, VK_ESCAPE);
        return;
      }
      EXPECT_EQ(seen.Prefilled, row.Target != nullptr ? row.Target : CurrentFolder().c_str());
      SendDlgItemMessageW(dialog, IDC_TARGET_PATH, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(row.Typed));
      testing_tools::PressKey(dialog, VK_RETURN);
    });
    EXPECT_EQ(seen.Shown, row.Shown);
    EXPECT_EQ(result, row.Status);
    if (row.Folder == nullptr) {
      EXPECT_TRUE(app.Tasks().empty()) << "nothing is unpacked";
    } else {
      ASSERT_EQ(app.Tasks().size(), 1u);
      EXPECT_EQ(app.Tasks()[0]->GetTargetFolder(), row.Folder);
      EXPECT_EQ(app.Tasks()[0]->HideProgress, row.HideProgress) << "--gui off hides the progress dialog too";
    }
  }
}

TEST_F(RunSequence, ADialogThatCannotBeShownKeepsTheFolder) {
  // A module without the stub's dialog templates: no dialog can be made from
  // it, so the run goes on with the folder it had.
  App app(GetModuleHandleW(L"kernel32.dll"));
  std::uint32_t exitCode = 0;
  const velmora::VMStatus result = app.Run(exitCode);
  EXPECT_NE(result, velmora::status::Cancelled);
  ASSERT_EQ(app.Tasks().size(), 1u);
  EXPECT_EQ(app.Tasks()[0]->GetTargetFolder(), CurrentFolder());
}

TEST(ErrorMessages, EachStatusGetsItsText) {
  struct Row {
    const char* Name;
    velmora::VMStatus Status;
    const wchar_t* Text;
  };
  const Row rows[] = {
      {"success", 0, L""},
      {"cancel", 0xEE000005, L""},
      {"elevation refused", 0xEE002006, L""},
      {"platform", 0xEE002004, L"The current platform is not supported."},
      {"access denied", 5, L"Administrator privileges required."},
      {"access denied HRESULT", 0x80070005, L"Administrator privileges required."},
      {"command line", 0xEE002003, L"The command line arguments are invalid."},
      {"directory", 267, L"The directory name is invalid."},
      {"own code", 0xEE000051, L"The execution was aborted due to an error."},
      {"unknown code", 0x12345678, L"The execution was aborted due to an error."},
      {"own directory code is not the Windows one", 0xEE002005, L"The execution was aborted due to an error."},
  };
  for (const Row& row : rows) {
    EXPECT_STREQ(ErrorMessageText(row.Status), row.Text) << row.Name;
  }
}

}  // namespace
