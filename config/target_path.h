// SPDX-License-Identifier: Apache-2.0
// Path values of the configuration document and the default target folders.
//
// A path value is plain text or starts with a folder reference:
// "${PROGRAM_FILES}\Vendor\App" or "${FOLDERID_LocalAppData}\Vendor". A "${"
// anywhere else means nothing. %NAME% environment references are expanded
// everywhere afterwards.
#pragma once

#include <string>

#include "support/vm_status.h"

// The plain path of `value`; `resolved` is empty on failure.
// InvalidConfiguration for an unclosed reference or an unknown name.
[[nodiscard]] velmora::VMStatus ResolvePathValue(const std::wstring& value, std::wstring& resolved);

// Completes `path` against the current working directory. Purely textual:
// the disk is not consulted and "." and ".." elements stay.
[[nodiscard]] velmora::VMStatus MakeAbsolutePath(const std::wstring& path, std::wstring& absolute);

// The current working directory, absolute and without "." or "..". When that
// is the Windows folder or a folder below it (as for an installer started
// elevated), the folder of the stub's own file instead.
[[nodiscard]] velmora::VMStatus GetExtractDefaultTargetPath(std::wstring& path);

// A new folder name under the user's temporary folder: the temporary folder
// followed by a fresh GUID in braces. Nothing is created on disk.
[[nodiscard]] velmora::VMStatus GetLaunchDefaultTargetPath(std::wstring& path);
