// SPDX-License-Identifier: Apache-2.0
// The long form of a path ("\\?\C:\..." or "\\?\UNC\server\share\...").
//
// Plain paths are limited to MAX_PATH characters on many systems and are
// rewritten by Windows on the way (trailing dots and spaces dropped, "." and
// ".." resolved); the long form is taken literally and may be up to 32,767
// characters long. A program that uses both forms for the same place may see
// two different places, so a caller picks one form for every call.
#pragma once

#include <string>

#include "support/vm_status.h"

namespace velmora {

// `path` made absolute against the current directory by GetFullPathNameW,
// which only rewrites the text: "." and ".." elements go, `/` becomes `\`,
// the disk is not looked at.
[[nodiscard]] VMStatus VMWinFullPath(const std::wstring& path, std::wstring& fullPath);

// `path` made absolute against the current directory and put into its long
// form. A path already in that form is returned as it is.
[[nodiscard]] VMStatus VMWinLongPath(const std::wstring& path, std::wstring& longPath);

// `path` without its long-form prefix ("C:\x", "\\server\share\x") where the
// plain form names the same place: shorter than MAX_PATH and left as it is by
// the rewriting of plain paths (no element ending in a dot or a space, no
// device name, a drive letter to start from). Otherwise, and for a path not
// in the long form, `path` as it is.
[[nodiscard]] std::wstring VMWinPlainPathWherePossible(const std::wstring& path);

// How many leading characters of a long-form path name its root: the
// prefix with "C:\" or with "UNC\server\share\". Folders below begin there.
[[nodiscard]] std::size_t VMWinLongPathRootLength(const std::wstring& longPath);

}  // namespace velmora
