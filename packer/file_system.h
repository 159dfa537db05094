// SPDX-License-Identifier: Apache-2.0
// The packer's use of the file system, one implementation per system
// (file_system_windows.cpp for Windows, file_system_posix.cpp elsewhere), so
// that everything else of the packer is the same code on both.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/vm_status.h"

// Inputs are read through InputFile (input_file.h).
class InputFile;

// Creates a new, empty file next to `beside` (`beside` + a random part +
// `suffix`), never through a link and never over an existing file, readable
// by the owner only until ReplaceFile puts it in place. It is removed when
// the packer is interrupted (SIGINT, SIGTERM, SIGHUP; on Windows Ctrl-C,
// Ctrl-Break and closing the console) before RemoveFile or ReplaceFile has
// dealt with it.
[[nodiscard]] velmora::VMStatus CreateTemporaryFile(const std::wstring& beside, const std::wstring& suffix,
                                                    std::wstring& path);

// Writes `bytes` over the file `path` made by CreateTemporaryFile.
[[nodiscard]] velmora::VMStatus WriteFileBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes);

// Appends the whole of `source` to `target` and flushes `target` to disk.
[[nodiscard]] velmora::VMStatus AppendFile(const std::wstring& target, InputFile& source);

// Renames the temporary file `from` to `to`, replacing a file (or a link)
// of that name, with the permissions a new file of the user gets.
[[nodiscard]] velmora::VMStatus ReplaceFile(const std::wstring& from, const std::wstring& to);

// Best effort: a file that is not there is no failure.
void RemoveFile(const std::wstring& path);

// `path` completed against the working directory; `path` itself when that
// fails.
[[nodiscard]] std::wstring FullPath(const std::wstring& path);

// Whether the two paths name one file as this system compares names.
[[nodiscard]] bool SameFile(const std::wstring& a, const std::wstring& b);

// Whether the folder that `path` would be created in exists.
[[nodiscard]] bool ParentFolderExists(const std::wstring& path);

// Whether `path` (existing or not) lies inside the folder `folder`.
[[nodiscard]] bool InsideFolder(const std::wstring& path, const std::wstring& folder);

// The folder of the packer's own program file, with a closing separator.
[[nodiscard]] velmora::VMStatus GetPackerFolder(std::wstring& folder);
