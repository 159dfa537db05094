// SPDX-License-Identifier: Apache-2.0
#include "tests/tools/temp_folder.h"

#include <objbase.h>
#include <windows.h>

#include "tests/tools/folder_tree.h"
#include "tests/tools/process_runner.h"
#include "tests/tools/unix_side.h"

namespace testing_tools {

TempFolder::TempFolder(const wchar_t* prefix, std::wstring parent) {
  if (parent.empty()) {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) return;
    parent = temp;
  } else if (parent.back() != L'\\') {
    parent += L'\\';
  }
  GUID guid;
  wchar_t text[40] = {};
  if (FAILED(CoCreateGuid(&guid)) || StringFromGUID2(guid, text, 40) == 0) return;
  std::wstring path = parent + prefix + std::wstring(text + 1, 36);
  if (CreateDirectoryW(path.c_str(), nullptr)) path_ = std::move(path);
}

TempFolder::~TempFolder() {
  if (path_.empty()) return;
  RemoveTree(path_);
  // Links that a test made on the Unix side can only be removed there.
  if (GetFileAttributesW(path_.c_str()) != INVALID_FILE_ATTRIBUTES) {
    const std::wstring unixPath = UnixPath(path_);
    if (!unixPath.empty()) (void)RunUnix(HostPathToWindows("/bin/rm"), {L"-rf", unixPath});
  }
}

}  // namespace testing_tools
