#include "support/vm_win_final_path.h"

#include <windows.h>

#include "support/vm_handle.h"

namespace velmora {

std::wstring VMWinFinalPath(const std::wstring& path, bool followLink) {
  VMUniqueFile entry(CreateFileW(
      path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr));
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!entry || !GetFileInformationByHandleEx(entry.get(), FileAttributeTagInfo, &tag, sizeof(tag)) ||
      (!followLink && (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))) {
    return {};
  }
  std::wstring final(1024, L'\0');
  for (;;) {
    const DWORD length = GetFinalPathNameByHandleW(entry.get(), final.data(), static_cast<DWORD>(final.size()), 0);
    if (length == 0) return {};
    if (length < final.size()) {
      final.resize(length);
      break;
    }
    final.resize(length + 1);
  }
  while (!final.empty() && final.back() == L'\\') final.pop_back();
  return final;
}

bool VMWinIsOwnEntry(const std::wstring& folder, const std::wstring& name, const std::wstring& path) {
  const std::wstring folderReached = VMWinFinalPath(folder, true);
  const std::wstring reached = VMWinFinalPath(path, false);
  if (folderReached.empty() || reached.empty()) return false;
  const std::wstring expected = folderReached + L'\\' + name;
  return CompareStringOrdinal(reached.c_str(), static_cast<int>(reached.size()), expected.c_str(),
                              static_cast<int>(expected.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace velmora
