// SPDX-License-Identifier: Apache-2.0
// A program that dies the way a crashing stub would, for the crash-dump
// tests. Modes:
//   crash              sets its process up exactly as the stub's entry point
//                      does, then faults;
//   crash-unrestricted installs the same filter without narrowing the DLL
//                      search first, then faults;
//   crash-elevated     sets its process up as the stub's elevated instance
//                      does, then faults;
//   crash-into FOLDER  sets its process up as the stub does, sends the dump
//                      into FOLDER as it stands, then faults;
//   plain-load         loads dbghelp.dll by bare name, as careless code
//                      would, and exits 0.
#include <windows.h>

#include <string>

#include "app/process_setup.h"
#include "elevation/elevated_process.h"
#include "support/vm_win_crash_dump.h"

namespace {

LPTOP_LEVEL_EXCEPTION_FILTER g_installed = nullptr;

// Runs the filter that was installed, then ends the process with the
// exception's code. The system's own crash handling would follow otherwise,
// and Wine answers it with a debugger window that nobody closes here.
LONG WINAPI EndAfterInstalledFilter(EXCEPTION_POINTERS* exception) {
  const LONG verdict = g_installed(exception);
  TerminateProcess(GetCurrentProcess(),
                   verdict == EXCEPTION_CONTINUE_SEARCH ? exception->ExceptionRecord->ExceptionCode : 4);
  return verdict;
}

[[noreturn]] void Fault() {
  g_installed = SetUnhandledExceptionFilter(&EndAfterInstalledFilter);
  if (g_installed != &velmora::VMWinCrashDumpFilter) ExitProcess(5);
  volatile int* volatile nowhere = nullptr;
  *nowhere = 1;
  ExitProcess(1);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"crash") {
    SetUpStubProcess();
    Fault();
  }
  if (mode == L"crash-unrestricted") {
    velmora::VMWinInstallCrashDumpFilter(L"vm-sfxstub", L"%TEMP%", -1);
    Fault();
  }
  if (mode == L"crash-elevated") {
    SetUpStubProcess();
    std::wstring folder;
    if (PrepareElevatedProcess(folder) != 0) return 6;
    Fault();
  }
  if (mode == L"crash-into" && argc > 2) {
    SetUpStubProcess();
    velmora::VMWinSetCrashDumpFolder(argv[2]);
    Fault();
  }
  if (mode == L"plain-load") return LoadLibraryW(L"dbghelp.dll") != nullptr ? 0 : 3;
  return 2;
}
