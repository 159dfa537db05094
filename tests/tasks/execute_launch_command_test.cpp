// SPDX-License-Identifier: Apache-2.0
// The launch task's ways with real programs: exit codes, the working folder,
// and which program a bare name finds; and the shell call that starts the
// elevated second instance.
#include <gtest/gtest.h>

#include <windows.h>

#include <objbase.h>
#include <process.h>

#include <string>

#include "app/error_message.h"
#include "support/vm_win_architecture.h"
#include "support/vm_win_wow64_fs_redirection.h"
#include "config/stub_status.h"
#include "elevation/relaunch_elevated.h"
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
    task.Mode = LaunchMode::CreateProcessAndWait;
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
      // A 32-bit cmd.exe under WOW64 has this variable; the system's own
      // program is the machine's native one, reached through Sysnative.
      {"the system folder's program is the native one", true, L"cmd.exe",
       L"/c if defined PROCESSOR_ARCHITEW6432 (exit 32) else exit 64", 0, 64},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    testing_tools::TempFolder target;
    ExecuteLaunchCommand task;
    task.TargetFolder = target.Path();
    task.Mode = row.Wait ? LaunchMode::ShellExecuteAndWait : LaunchMode::ShellExecuteNoWait;
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
  RelaunchElevated task;
  task.TargetFolder = target.Path();
  const auto real = RelaunchElevated::ElevatedShellExecute;
  RelaunchElevated::ElevatedShellExecute = &RefuseElevation;
  std::uint32_t exitCode = 99;
  EXPECT_EQ(task.run(exitCode), stub_status::ElevationRefused);
  RelaunchElevated::ElevatedShellExecute = real;
  EXPECT_EQ(exitCode, 0u);
  EXPECT_STREQ(ErrorMessageText(stub_status::ElevationRefused), L"");
}

bool IsWow64() {
  bool native = true;
  return velmora::VMWinIsNativeProcess(GetCurrentProcess(), native) == 0 && !native;
}

// Whether this thread sees the 64-bit system folder: redirection off.
bool SeesNativeSystemFolder() {
  wchar_t cmd[MAX_PATH] = {};
  GetSystemDirectoryW(cmd, MAX_PATH);
  DWORD type = 0;
  return GetBinaryTypeW((std::wstring(cmd) + L"\\cmd.exe").c_str(), &type) && type == SCS_64BIT_BINARY;
}

struct ShellCallSeen {
  HRESULT Com = E_FAIL;
  bool NativeDuringCall = true;
  bool NativeAfterCall = false;
  SHELLEXECUTEINFOW Info{};
  std::wstring File;
  std::wstring Parameters;
  velmora::VMStatus Status = 0;
} g_seen;

BOOL WINAPI ProbeShellCall(SHELLEXECUTEINFOW* info) {
  // S_FALSE: COM is initialised on this thread already, apartment-threaded.
  g_seen.Com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (SUCCEEDED(g_seen.Com)) CoUninitialize();
  g_seen.NativeDuringCall = SeesNativeSystemFolder();
  g_seen.Info = *info;
  g_seen.File = info->lpFile;
  g_seen.Parameters = info->lpParameters;
  SetLastError(ERROR_CANCELLED);
  return FALSE;
}

// The elevated relaunch on a thread like the worker, with redirection off.
unsigned __stdcall RelaunchLikeTheWorker(void*) {
  velmora::VMWinWow64FsRedirection redirection;
  RelaunchElevated task;
  task.RelaunchArguments = L"--internal 1 --gui off";
  std::uint32_t exitCode = 0;
  g_seen.Status = task.run(exitCode);
  g_seen.NativeAfterCall = SeesNativeSystemFolder();
  return 0;
}

// The shell call holds on 64-bit Windows: COM is initialised on the worker,
// redirection is back on for the call and off again after it, the shell
// expands nothing, and the elevated instance is this program with the
// composed line and no folder.
TEST(LaunchCommand, ShellCallsRunWithComAndRedirectionRestored) {
  const auto real = RelaunchElevated::ElevatedShellExecute;
  RelaunchElevated::ElevatedShellExecute = &ProbeShellCall;
  const auto thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &RelaunchLikeTheWorker, nullptr, 0, nullptr));
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  RelaunchElevated::ElevatedShellExecute = real;

  EXPECT_EQ(g_seen.Status, stub_status::ElevationRefused);
  EXPECT_EQ(g_seen.Com, S_FALSE);
  EXPECT_FALSE(g_seen.NativeDuringCall);
  EXPECT_EQ(g_seen.NativeAfterCall, IsWow64());
  EXPECT_EQ(g_seen.Info.fMask, static_cast<ULONG>(SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC));
  EXPECT_EQ(g_seen.Parameters, L"--internal 1 --gui off");
  EXPECT_EQ(g_seen.Info.lpDirectory, nullptr);
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  EXPECT_EQ(g_seen.File, self);
}

}  // namespace
