// The launch task's CreateProcess way with real programs: exit codes, the
// working folder, and which program a bare name finds.
#include <gtest/gtest.h>

#include <windows.h>

#include <objbase.h>
#include <process.h>

#include <cstring>

#include "app/error_message.h"
#include "support/vm_win_architecture.h"
#include "support/vm_win_wow64_fs_redirection.h"
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

bool IsWow64() {
  bool native = true;
  return velmora::VMWinIsNativeProcess(GetCurrentProcess(), native) == 0 && !native;
}

// The machine type of the kernel32.dll this thread sees in the system folder:
// a 32-bit one while redirection is on under WOW64.
WORD SystemLibraryMachine() {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  char header[4096] = {};
  const HANDLE file = CreateFileW((std::wstring(system) + L"\\kernel32.dll").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD read = 0;
  if (file != INVALID_HANDLE_VALUE) {
    ReadFile(file, header, sizeof(header), &read, nullptr);
    CloseHandle(file);
  }
  std::int32_t peOffset = 0;
  std::memcpy(&peOffset, header + 0x3C, sizeof(peOffset));
  WORD machine = 0;
  if (peOffset > 0 && peOffset < 4000) std::memcpy(&machine, header + peOffset + 4, sizeof(machine));
  return machine;
}

struct ShellCallSeen {
  HRESULT Com = E_FAIL;
  WORD MachineDuringCall = 0;
  WORD MachineAfterCall = 0;
  std::wstring File;
  std::wstring Parameters;
  ULONG Mask = 0;
  bool Directory = true;
  velmora::VMStatus Status = 0;
};
ShellCallSeen g_seen;

BOOL WINAPI ProbeShellCall(SHELLEXECUTEINFOW* info) {
  // S_FALSE: COM is initialised on this thread already, apartment-threaded.
  g_seen.Com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (SUCCEEDED(g_seen.Com)) CoUninitialize();
  g_seen.MachineDuringCall = SystemLibraryMachine();
  g_seen.File = info->lpFile;
  g_seen.Parameters = info->lpParameters ? info->lpParameters : L"";
  g_seen.Mask = info->fMask;
  g_seen.Directory = info->lpDirectory != nullptr;
  SetLastError(ERROR_CANCELLED);
  return FALSE;
}

// The task on a thread like the worker: redirection off for the thread.
unsigned __stdcall RunElevatingTaskLikeTheWorker(void*) {
  velmora::VMWinWow64FsRedirection redirection;
  ExecuteLaunchCommand task;
  task.AsAdmin = true;
  task.Wait = true;
  task.Executable = L"%SystemRoot%\\system32\\cmd.exe";
  task.RelaunchArguments = L"--internal 1 --gui off";
  std::uint32_t exitCode = 0;
  g_seen.Status = task.run(exitCode);
  g_seen.MachineAfterCall = SystemLibraryMachine();
  return 0;
}

// The shell call holds on 64-bit Windows: COM is initialised on the worker
// and redirection is back on for the call, off again after it; the shell
// expands nothing, and the elevated instance is this program, told only the
// composed line.
TEST(LaunchCommand, ShellCallsRunWithComAndRedirectionRestored) {
  const auto real = ExecuteLaunchCommand::ElevatedShellExecute;
  ExecuteLaunchCommand::ElevatedShellExecute = &ProbeShellCall;
  const auto thread =
      reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &RunElevatingTaskLikeTheWorker, nullptr, 0, nullptr));
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  ExecuteLaunchCommand::ElevatedShellExecute = real;

  EXPECT_EQ(g_seen.Status, stub_status::ElevationRefused);
  EXPECT_EQ(g_seen.Com, S_FALSE);
  EXPECT_EQ(g_seen.MachineDuringCall, IMAGE_FILE_MACHINE_I386);
  EXPECT_EQ(g_seen.MachineAfterCall, IsWow64() ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386);
  EXPECT_EQ(g_seen.Mask, static_cast<ULONG>(SEE_MASK_NOCLOSEPROCESS));
  EXPECT_EQ(g_seen.Parameters, L"--internal 1 --gui off");
  EXPECT_FALSE(g_seen.Directory);
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  EXPECT_EQ(g_seen.File, self);
}

TEST(LaunchCommand, SysnativeOnlyFor64BitMachinesAndTheSystemFolder) {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  wchar_t windows[MAX_PATH] = {};
  GetSystemWindowsDirectoryW(windows, MAX_PATH);
  const std::wstring program = std::wstring(system) + L"\\cmd.exe";
  EXPECT_EQ(velmora::VMWinSysnativePath(program),
            IsWow64() ? std::wstring(windows) + L"\\Sysnative\\cmd.exe" : program);
  EXPECT_EQ(velmora::VMWinSysnativePath(std::wstring(windows) + L"\\notepad.exe"),
            std::wstring(windows) + L"\\notepad.exe");
  EXPECT_EQ(velmora::VMWinSysnativePath(std::wstring(system) + L"32\\x.exe"), std::wstring(system) + L"32\\x.exe");
}

}  // namespace
