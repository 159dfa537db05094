// The launch task's CreateProcess way with real programs: exit codes, the
// working folder, and which program a bare name finds.
#include <gtest/gtest.h>

#include <windows.h>

#include "app/error_message.h"
#include "config/stub_status.h"
#include "tasks/execute_launch_command.h"
#include "tests/tools/temp_folder.h"

namespace {

TEST(LaunchCommand, CreateProcessRunsWaitsAndPassesTheExitCodeOn) {
  struct Row {
    const char* Name;
    const wchar_t* Executable;
    const wchar_t* Arguments;
    velmora::VMStatus Status;
    std::uint32_t ExitCode;
  };
  const Row rows[] = {
      {"a bare name is found in the system folder", L"cmd.exe", L"/c exit 7", 0, 7},
      {"a restart request passes through", L"cmd", L"/c exit 3010", 0, 3010},
      {"success", L"%SystemRoot%\\system32\\cmd.exe", L"/c exit 0", 0, 0},
      {"the working folder is the target folder", L"cmd.exe", L"/c echo x> made.txt", 0, 0},
      {"a name found nowhere", L"no-such-program.exe", L"", ERROR_FILE_NOT_FOUND, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    testing_tools::TempFolder target;
    ExecuteLaunchCommand task;
    task.UseCreateProcess = true;
    task.TargetFolder = target.Path();
    task.Executable = row.Executable;
    task.Arguments = row.Arguments;
    std::uint32_t exitCode = 99;
    EXPECT_EQ(task.run(exitCode), row.Status);
    EXPECT_EQ(exitCode, row.ExitCode);
    if (std::wstring(row.Arguments).find(L"made.txt") != std::wstring::npos) {
      EXPECT_NE(GetFileAttributesW((target / L"made.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    }
  }
}

BOOL WINAPI RefuseElevation(SHELLEXECUTEINFOW* info) {
  EXPECT_STREQ(info->lpVerb, L"runas");
  EXPECT_EQ(info->nShow, SW_HIDE);
  SetLastError(ERROR_CANCELLED);
  return FALSE;
}

TEST(LaunchCommand, ShellWays) {
  struct Row {
    const char* Name;
    bool Wait;
    const wchar_t* Executable;
    const wchar_t* Arguments;
    velmora::VMStatus Status;
    std::uint32_t ExitCode;
  };
  const Row rows[] = {
      {"waits and passes the exit code on", true, L"cmd.exe", L"/c exit 6", 0, 6},
      {"without Wait nothing waits and no exit code comes back", false, L"cmd.exe", L"/c exit 6", 0, 0},
      {"a name found nowhere", true, L"no-such-program.exe", L"", ERROR_FILE_NOT_FOUND, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    testing_tools::TempFolder target;
    ExecuteLaunchCommand task;
    task.TargetFolder = target.Path();
    task.Wait = row.Wait;
    task.Executable = row.Executable;
    task.Arguments = row.Arguments;
    std::uint32_t exitCode = 99;
    EXPECT_EQ(task.run(exitCode), row.Status);
    EXPECT_EQ(exitCode, row.ExitCode);
  }
}

// A user who says no at the consent prompt ends the run quietly.
TEST(LaunchCommand, RefusedElevationIsItsOwnSilentStatus) {
  testing_tools::TempFolder target;
  ExecuteLaunchCommand task;
  task.TargetFolder = target.Path();
  task.AsAdmin = true;
  task.Executable = L"cmd.exe";
  const auto real = ExecuteLaunchCommand::ElevatedShellExecute;
  ExecuteLaunchCommand::ElevatedShellExecute = &RefuseElevation;
  std::uint32_t exitCode = 99;
  EXPECT_EQ(task.run(exitCode), stub_status::ElevationRefused);
  ExecuteLaunchCommand::ElevatedShellExecute = real;
  EXPECT_EQ(exitCode, 0u);
  EXPECT_STREQ(ErrorMessageText(stub_status::ElevationRefused), L"");
}

}  // namespace
