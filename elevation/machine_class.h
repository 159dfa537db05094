// SPDX-License-Identifier: Apache-2.0
// The file class a document opens with, as the machine alone defines it.
#pragma once

#include <string>

#include "support/vm_handle.h"
#include "support/vm_status.h"

// Opens the class that `document`'s extension names in
// HKEY_LOCAL_MACHINE\Software\Classes: the extension key's default value is
// the class's name, and the class key holds its verbs. The merged
// HKEY_CLASSES_ROOT lets a standard user's own classes
// (HKEY_CURRENT_USER\Software\Classes) win over the machine's, and an
// elevated process of that user sees them too: opened from there, the user
// would choose the program that runs a document with the administrator's
// rights. Only administrators can write the machine's classes.
// ERROR_NO_ASSOCIATION when the machine defines no class for the extension
// (or the document has none).
[[nodiscard]] velmora::VMStatus OpenMachineClass(const std::wstring& document, velmora::VMUniqueRegKey& key);
