// SPDX-License-Identifier: Apache-2.0
#include "tests/tools/folder_tree.h"

#include <windows.h>

namespace testing_tools {

void RemoveTree(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  // A link goes, never what it points to.
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    if (!RemoveDirectoryW(path.c_str())) DeleteFileW(path.c_str());
    return;
  }
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileW(path.c_str());
    return;
  }
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") RemoveTree(path + L"\\" + name);
    } while (FindNextFileW(find, &found));
    FindClose(find);
  }
  RemoveDirectoryW(path.c_str());
}

}  // namespace testing_tools
