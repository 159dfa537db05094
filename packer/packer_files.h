// SPDX-License-Identifier: Apache-2.0
// The packer's use of the file system, one implementation per system
// (packer_files.cpp for Windows, packer_files_posix.cpp elsewhere), so that
// everything else of the packer is the same code on both.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/vm_status.h"

// Every input is opened once, as a regular file: a directory, a FIFO or a
// device fails with error 5 (access denied) at once instead of blocking.

// A file larger than `limit` bytes fails with InvalidValue.
[[nodiscard]] velmora::VMStatus ReadFileBytes(const std::wstring& path, std::uint64_t limit,
                                              std::vector<std::uint8_t>& bytes);

// The first `count` bytes of `path` (fewer when it is shorter) and its size.
[[nodiscard]] velmora::VMStatus ReadFileStart(const std::wstring& path, std::uint64_t count,
                                              std::vector<std::uint8_t>& bytes, std::uint64_t& size);

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

[[nodiscard]] velmora::VMStatus GetFileSize(const std::wstring& path, std::uint64_t& size);

// Appends the whole of `source` to `target` and flushes `target` to disk.
[[nodiscard]] velmora::VMStatus AppendFile(const std::wstring& target, const std::wstring& source);

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
