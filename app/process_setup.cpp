// SPDX-License-Identifier: Apache-2.0
#include "app/process_setup.h"

#include "support/vm_win_crash_dump.h"
#include "support/vm_win_system_library.h"

void SetUpStubProcess() {
  // First of all: an installer runs from folders full of other downloads,
  // and no library may be picked up from there, not even by a system
  // component that loads one on demand later.
  velmora::VMWinRestrictDllSearchToSystemFolder();
  // A crash leaves %TEMP%\vm-sfxstub_YYYYMMDDhhmmss.dmp behind.
  velmora::VMWinInstallCrashDumpFilter(L"vm-sfxstub", L"%TEMP%", -1);
}
