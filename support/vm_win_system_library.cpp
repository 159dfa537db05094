// SPDX-License-Identifier: Apache-2.0
#include "support/vm_win_system_library.h"

#include <windows.h>

#include <cwchar>
#include <iterator>

namespace velmora {

void VMWinRestrictDllSearchToSystemFolder() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  // Looked up because older systems lack it; kernel32.dll is mapped into
  // every process, so this is no search on disk.
  const auto restrict = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (restrict == nullptr || !restrict(LOAD_LIBRARY_SEARCH_SYSTEM32)) SetDllDirectoryW(L"");
}

VMStatus VMWinLoadSystemLibrary(const wchar_t* name, VMUniqueModule& module) {
  wchar_t path[MAX_PATH + 1] = {};
  constexpr UINT kCapacity = MAX_PATH;
  // A 32-bit process on 64-bit Windows finds its libraries in the WOW64
  // system folder. Naming that folder directly (rather than "system32" and
  // relying on redirection) keeps this working on a thread that has switched
  // redirection off, such as the task worker. Elsewhere the call fails and
  // the ordinary system folder is the right one.
  UINT length = 0;
#if !defined(_WIN64)
  length = GetSystemWow64DirectoryW(path, kCapacity);
#endif
  if (length == 0) length = GetSystemDirectoryW(path, kCapacity);
  VM_RETURN_LAST_ERROR_IF(length == 0);
  const std::size_t nameLength = std::wcslen(name);
  if (length >= kCapacity || length + 1 + nameLength >= std::size(path)) return ERROR_FILENAME_EXCED_RANGE;
  path[length] = L'\\';
  std::wmemcpy(path + length + 1, name, nameLength + 1);
  // The library's own imports are then searched beside it first.
  module.reset(LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  VM_RETURN_LAST_ERROR_IF(!module);
  return status::Ok;
}

}  // namespace velmora
