// SPDX-License-Identifier: Apache-2.0
// The folder an elevated run unpacks into.
#pragma once

#include <string>

#include "support/vm_status.h"

// Who may use the folder: SYSTEM and the Administrators group with full
// control, inherited by everything in it, and nothing inherited from above.
inline constexpr wchar_t kElevatedFolderSecurity[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// The Windows temporary folder, which holds the elevated run's folder. The
// Windows folder comes from the system, never from the environment, which
// the user sets. A process running as SYSTEM uses SystemTemp, which Windows
// keeps for SYSTEM alone, where the system has it (Windows 11, Server 2022,
// Windows 10 with its 2025 updates), else Temp as everyone else.
[[nodiscard]] velmora::VMStatus ElevatedTempFolder(std::wstring& folder);

// A fresh GUID name in ElevatedTempFolder() for the run's folder; nothing is
// made yet.
[[nodiscard]] velmora::VMStatus ChooseElevatedFolder(std::wstring& folder);

// Creates `folder` with the security above: the one ChooseElevatedFolder
// named, or a fresh one when `folder` is empty. A standard user can write to
// the user's %TEMP% and so swap a file between its unpacking and its
// elevated use; in the Windows temporary folder he can create folders of his
// own but cannot reach into this one, and a folder that already stands under
// the name makes the creation fail rather than be used.
[[nodiscard]] velmora::VMStatus CreateElevatedFolder(std::wstring& folder);
