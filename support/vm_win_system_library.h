// SPDX-License-Identifier: Apache-2.0
// Loading libraries from the system folder only.
//
// An installer is typically run from a Downloads folder, where anyone who got
// a file onto the disk could have placed a DLL named like a system library.
// Windows searches the program's own folder first, so every library the
// process loads at run time is loaded by its full path in the system folder,
// and the default search is narrowed before anything else happens.
#pragma once

#include "support/vm_handle.h"
#include "support/vm_status.h"

namespace velmora {

// Limits the default DLL search of the whole process to the system folder.
// Where the system cannot do that (Windows 7 without its loader update), at
// least the current directory is taken out of the search.
void VMWinRestrictDllSearchToSystemFolder();

// Loads `name` (a bare file name such as L"dbghelp.dll") from the folder
// that holds the system libraries of this process's own architecture.
[[nodiscard]] VMStatus VMWinLoadSystemLibrary(const wchar_t* name, VMUniqueModule& module);

}  // namespace velmora
