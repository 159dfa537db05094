// SPDX-License-Identifier: Apache-2.0
// Where a path really leads.
//
// A junction or symbolic link is normally marked as a reparse point, but
// some systems show a link to a file as a plain file; the path that a handle
// opened on it reaches tells them apart on every system.
#pragma once

#include <windows.h>

#include <string>

#include "support/vm_status.h"

namespace velmora {

// The path `file` reaches (GetFinalPathNameByHandleW: links resolved, SUBST
// drives and mapped network drives replaced by what they stand for), in the
// long form ("\\?\C:\..." or "\\?\UNC\server\share\...").
[[nodiscard]] VMStatus VMWinFinalPathOfHandle(HANDLE file, std::wstring& path);

// The path a handle opened on `path` reaches, in the long form and without a
// closing separator; empty when it cannot be opened. Unless `followLink` is
// set, a reparse point at `path` itself gives empty too.
[[nodiscard]] std::wstring VMWinFinalPath(const std::wstring& path, bool followLink);

// Whether `path` is `folder`'s own entry `name` (`name` may hold several
// elements separated by `\`): no link, and reached as the folder's real path
// followed by the name. The folder itself may be a link.
[[nodiscard]] bool VMWinIsOwnEntry(const std::wstring& folder, const std::wstring& name, const std::wstring& path);

}  // namespace velmora
