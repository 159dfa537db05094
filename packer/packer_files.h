// The packer's use of the file system, one implementation per system
// (packer_files.cpp for Windows, packer_files_posix.cpp elsewhere), so that
// everything else of the packer is the same code on both.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/vm_status.h"

// A file larger than `limit` bytes fails with InvalidValue.
[[nodiscard]] velmora::VMStatus ReadFileBytes(const std::wstring& path, std::uint64_t limit,
                                              std::vector<std::uint8_t>& bytes);

// Creates or truncates `path` and writes `bytes` into it.
[[nodiscard]] velmora::VMStatus WriteFileBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes);

[[nodiscard]] velmora::VMStatus GetFileSize(const std::wstring& path, std::uint64_t& size);

// Appends the whole of `source` to `target` and flushes `target` to disk.
[[nodiscard]] velmora::VMStatus AppendFile(const std::wstring& target, const std::wstring& source);

// Renames `from` to `to`, replacing a file of that name.
[[nodiscard]] velmora::VMStatus ReplaceFile(const std::wstring& from, const std::wstring& to);

// Best effort: a file that is not there is no failure.
void RemoveFile(const std::wstring& path);

// `path` completed against the working directory; `path` itself when that
// fails.
[[nodiscard]] std::wstring FullPath(const std::wstring& path);

// Whether the two paths name one file as this system compares names.
[[nodiscard]] bool SameFile(const std::wstring& a, const std::wstring& b);

// The folder of the packer's own program file, with a closing separator.
[[nodiscard]] velmora::VMStatus GetPackerFolder(std::wstring& folder);

// Distinguishes the packer's temporary files from another run's.
[[nodiscard]] std::wstring ProcessTag();
