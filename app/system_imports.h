// SPDX-License-Identifier: Apache-2.0
// The stub's Windows functions outside kernel32.dll and the C runtime, bound
// at run time from the system folder.
//
// The loader resolves an executable's static imports, and theirs in turn,
// before the program's first instruction runs, searching the program's own
// folder first: a user32.dll or a version.dll (which user32 may import) left
// in a Downloads folder would run its code in the installer before the stub
// could restrict anything. So the stub imports only kernel32.dll and
// msvcrt.dll (a known DLL, always taken from the system folder); every other
// function is called through an import pointer that this file defines in place
// of the import library's and fills once the DLL search is restricted. The
// libraries linked into the tests keep the ordinary import libraries.
#pragma once

#include "support/vm_status.h"

// Loads the libraries from the system folder and fills every import pointer.
// Call once, after the DLL search is restricted and before any of these
// functions is used. A library or function that cannot be bound ends with its
// Windows error (ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND, ...), and nothing
// bound from it may be called then, not even MessageBoxW.
[[nodiscard]] velmora::VMStatus BindSystemImports();
