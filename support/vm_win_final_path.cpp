// SPDX-License-Identifier: Apache-2.0
#include "support/vm_win_final_path.h"

#include <windows.h>

#include <winternl.h>

#include <vector>

#include "support/vm_handle.h"

namespace velmora {

namespace {

// The name the object manager gives the file of `file`, which the final path
// is built from (some systems build no final path longer than MAX_PATH
// characters); empty when it cannot be read.
std::wstring ObjectName(HANDLE file) {
  using QueryObject = LONG(NTAPI*)(HANDLE, OBJECT_INFORMATION_CLASS, void*, ULONG, ULONG*);
  const auto query = reinterpret_cast<QueryObject>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
  std::vector<ULONG_PTR> buffer((sizeof(UNICODE_STRING) + 65536) / sizeof(ULONG_PTR) + 1);
  ULONG needed = 0;
  if (query == nullptr || query(file, ObjectNameInformation, buffer.data(),
                                static_cast<ULONG>(buffer.size() * sizeof(ULONG_PTR)), &needed) < 0) {
    return {};
  }
  const auto* name = reinterpret_cast<const UNICODE_STRING*>(buffer.data());
  return std::wstring(name->Buffer, name->Length / sizeof(wchar_t));
}

// VMWinFinalPath, or with `objectName` the object manager's name instead.
std::wstring ReachedPath(const std::wstring& path, bool followLink, bool objectName) {
  VMUniqueFile entry(CreateFileW(
      path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr));
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!entry || !GetFileInformationByHandleEx(entry.get(), FileAttributeTagInfo, &tag, sizeof(tag)) ||
      (!followLink && (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))) {
    return {};
  }
  std::wstring final;
  if (objectName) {
    final = ObjectName(entry.get());
  } else if (VMWinFinalPathOfHandle(entry.get(), final) != status::Ok) {
    return {};
  }
  while (!final.empty() && final.back() == L'\\') final.pop_back();
  return final;
}

}  // namespace

VMStatus VMWinFinalPathOfHandle(HANDLE file, std::wstring& path) {
  path.assign(1024, L'\0');
  for (;;) {
    const DWORD length = GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()), 0);
    if (length == 0) {
      path.clear();
      return LastErrorOr();
    }
    if (length < path.size()) {
      path.resize(length);
      return status::Ok;
    }
    path.resize(length + 1);
  }
}

std::wstring VMWinFinalPath(const std::wstring& path, bool followLink) { return ReachedPath(path, followLink, false); }

bool VMWinIsOwnEntry(const std::wstring& folder, const std::wstring& name, const std::wstring& path) {
  // Both in the same form: final paths, or object names where a final path
  // cannot be had (Wine builds none beyond MAX_PATH characters).
  for (const bool objectName : {false, true}) {
    const std::wstring folderReached = ReachedPath(folder, true, objectName);
    const std::wstring reached = ReachedPath(path, false, objectName);
    if (folderReached.empty() || reached.empty()) continue;
    const std::wstring expected = folderReached + L'\\' + name;
    return CompareStringOrdinal(reached.c_str(), static_cast<int>(reached.size()), expected.c_str(),
                                static_cast<int>(expected.size()), TRUE) == CSTR_EQUAL;
  }
  return false;
}

}  // namespace velmora
