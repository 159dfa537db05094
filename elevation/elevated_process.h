// SPDX-License-Identifier: Apache-2.0
// What the elevated second instance does to its process before anything else.
#pragma once

#include <string>

#include "support/vm_status.h"

// In admin-approval mode the elevated process belongs to the same user who
// started the installer, and inherits what that user may set: his
// environment (TEMP, PATH, any %NAME% of the configuration) and his
// temporary folder. So the elevated instance first names the folder it will
// unpack into (`folder`, made later by CreateElevatedFolder), sends a crash
// dump to that folder's parent, the Windows temporary folder, and replaces
// its environment with the system's, with TEMP and TMP naming `folder`.
// Everything it expands and everything it starts sees only that.
[[nodiscard]] velmora::VMStatus PrepareElevatedProcess(std::wstring& folder);
