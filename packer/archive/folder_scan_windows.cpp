// SPDX-License-Identifier: Apache-2.0
#include "packer/archive/folder_scan.h"

#include "packer/status_text.h"
#include "support/vm_handle.h"
#include "support/vm_win_final_path.h"
#include "support/entry_identity.h"

using velmora::VMStatus;
namespace status = velmora::status;

namespace {

bool IsDotOrDotDot(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

VMStatus ScanInto(const std::wstring& root, const std::wstring& relative, std::vector<FolderItem>& items,
                  std::wstring& error) {
  const std::wstring base = relative.empty() ? root : root + L"\\" + relative;
  WIN32_FIND_DATAW found{};
  velmora::VMUniqueFind find(
      FindFirstFileExW((base + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
  if (!find) {
    const VMStatus failed = velmora::LastErrorOr();
    error = L"cannot read the folder " + base + L": " + DescribeStatus(failed) + L".";
    return failed;
  }
  do {
    if (IsDotOrDotDot(found.cFileName)) continue;
    FolderItem item;
    item.Path = relative.empty() ? found.cFileName : relative + L"\\" + found.cFileName;
    item.FullPath = root + L"\\" + item.Path;
    // Some systems show a link to a file as a plain file: an entry must also
    // lead to itself, or the packer would pack what the link points to.
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        !velmora::VMWinIsOwnEntry(root, item.Path, item.FullPath)) {
      error = L"the folder holds a link, which is not packed: " + item.FullPath + L".";
      return status::InvalidValue;
    }
    item.Attributes = found.dwFileAttributes;
    item.ModificationTime = found.ftLastWriteTime;
    item.IsDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    item.Size = item.IsDirectory ? 0 : (std::uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
    if (!item.IsDirectory) {
      // Reading later opens this very file again, not whatever then stands
      // at its name.
      const EntryIdentity identity = IdentityOfPath(item.FullPath, false);
      if (!identity.Known()) {
        const VMStatus failed = velmora::LastErrorOr();
        error = L"cannot read " + item.FullPath + L": " + DescribeStatus(failed) + L".";
        return failed;
      }
      item.Device = identity.Volume;
      item.Inode = identity.Index;
    }
    const std::wstring child = item.Path;
    const bool descend = item.IsDirectory;
    items.push_back(std::move(item));
    if (descend) VM_RETURN_IF_FAILED(ScanInto(root, child, items, error));
  } while (FindNextFileW(find.get(), &found));
  if (GetLastError() != ERROR_NO_MORE_FILES) {
    const VMStatus failed = velmora::LastErrorOr();
    error = L"cannot read the folder " + base + L": " + DescribeStatus(failed) + L".";
    return failed;
  }
  return status::Ok;
}

}  // namespace

VMStatus ScanFolder(const std::wstring& folder, std::vector<FolderItem>& items, std::wstring& error) {
  items.clear();
  std::wstring root = folder;
  while (root.size() > 1 && (root.back() == L'\\' || root.back() == L'/')) root.pop_back();
  const DWORD attributes = GetFileAttributesW(root.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    error = L"the folder " + folder + L" does not exist.";
    return status::NotFound;
  }
  return ScanInto(root, L"", items, error);
}
