// SPDX-License-Identifier: Apache-2.0
#include "support/vm_win_module_file_name.h"

#include <windows.h>

#include <cstdlib>
#include <iterator>

#include "support/vm_trace.h"

namespace velmora {

VMStatus VMWinModuleFileName::InitWithModuleHandle() {
  *this = VMWinModuleFileName{};
  wchar_t path[2048] = {};
  // A path cut at 2047 characters is used as it is.
  if (GetModuleFileNameW(nullptr, path, 2047) == 0) {
    // A failure that left no last error must still be one.
    const VMStatus error = LastErrorOr();
    VM_TRACE("ERROR", "GetModuleFileName failed, err=0x%08x\n", static_cast<unsigned>(error));
    return error;
  }
  FullPath = path;
  return InitPathComponents();
}

VMStatus VMWinModuleFileName::InitPathComponents() {
  wchar_t drive[3] = {};
  wchar_t directory[256] = {};
  wchar_t fileName[256] = {};
  wchar_t extension[256] = {};
  const errno_t error = _wsplitpath_s(FullPath.c_str(), drive, std::size(drive), directory, std::size(directory),
                                      fileName, std::size(fileName), extension, std::size(extension));
  if (error != 0) {
    VM_TRACE("ERROR", "_wsplitpath_s(%S) failed, err=%d\n", FullPath.c_str(), error);
    return status::FromCrtError(error);
  }
  Drive = drive;
  Directory = directory;
  FileName = fileName;
  Extension = extension;
  return status::Ok;
}

}  // namespace velmora
