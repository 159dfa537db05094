// SPDX-License-Identifier: Apache-2.0
// The folder an elevated run unpacks into.
#pragma once

#include <string>

#include "support/vm_status.h"

// Who may use the folder: SYSTEM and the Administrators group with full
// control, inherited by everything in it, and nothing inherited from above.
inline constexpr wchar_t kElevatedFolderSecurity[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// Creates a new folder with a fresh GUID name and the security above in the
// system's temporary folder, and returns its path. A standard user can write
// to the user's %TEMP% and so swap a file between its unpacking and its
// elevated use; in the Windows temporary folder he can create folders of his
// own but cannot reach into this one, and a folder that already stands under
// the name makes the creation fail rather than be used. The Windows folder
// comes from the system, never from the environment, which the user sets. A
// process running as SYSTEM uses SystemTemp, which Windows keeps for SYSTEM
// alone; an elevated administrator cannot write there.
[[nodiscard]] velmora::VMStatus CreateElevatedFolder(std::wstring& folder);
