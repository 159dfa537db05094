// SPDX-License-Identifier: Apache-2.0
// A folder tree as a comparable value: every file and folder below a root
// with the attributes an unpacked copy must keep, its last-write time and
// its content.
#pragma once

#include <windows.h>

#include <map>
#include <string>

namespace testing_tools {

// Attributes a copy must keep; Wine sets the archive bit on its own.
inline constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;

struct ListedEntry {
  DWORD Attributes = 0;  // masked with kKeptAttributes
  ULONGLONG Modified = 0;
  std::string Content;  // empty for folders
  bool operator==(const ListedEntry&) const = default;
};

// Everything below `root`, keyed by relative path with `\` separators.
[[nodiscard]] std::map<std::wstring, ListedEntry> ListFolder(const std::wstring& root);

[[nodiscard]] std::string ReadWholeFile(const std::wstring& path);
void WriteWholeFile(const std::wstring& path, const std::string& data);

}  // namespace testing_tools
