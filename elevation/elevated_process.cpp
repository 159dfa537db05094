// SPDX-License-Identifier: Apache-2.0
#include "elevation/elevated_process.h"

#include <windows.h>

#include "elevation/elevated_folder.h"
#include "support/vm_win_crash_dump.h"
#include "support/vm_win_system_environment.h"

velmora::VMStatus PrepareElevatedProcess(std::wstring& folder) {
  VM_RETURN_IF_FAILED(ChooseElevatedFolder(folder));
  velmora::VMWinSetCrashDumpFolder(folder.substr(0, folder.rfind(L'\\')).c_str());
  VM_RETURN_IF_FAILED(velmora::VMWinUseSystemEnvironment());
  for (const wchar_t* name : {L"TEMP", L"TMP"}) VM_RETURN_LAST_ERROR_IF(!SetEnvironmentVariableW(name, folder.c_str()));
  return velmora::status::Ok;
}
