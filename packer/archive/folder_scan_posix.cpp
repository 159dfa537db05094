// SPDX-License-Identifier: Apache-2.0
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "packer/archive/folder_scan.h"
#include "packer/status_text.h"
#include "support/vm_utf_convert.h"

using velmora::VMStatus;
namespace status = velmora::status;

namespace {

constexpr DWORD kReadOnly = 0x01;
constexpr DWORD kDirectory = 0x10;
constexpr DWORD kArchive = 0x20;
// Seconds from 1601, where Windows file times count from, to 1970.
constexpr std::uint64_t kEpochDifference = 11644473600u;

FILETIME FileTime(const struct timespec& time) {
  const std::uint64_t ticks = (static_cast<std::uint64_t>(time.tv_sec) + kEpochDifference) * 10000000u +
                              static_cast<std::uint64_t>(time.tv_nsec) / 100;
  FILETIME result{};
  result.dwLowDateTime = static_cast<DWORD>(ticks);
  result.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return result;
}

VMStatus ReadNames(const std::string& folder, std::vector<std::string>& names) {
  DIR* directory = opendir(folder.c_str());
  VM_RETURN_LAST_ERROR_IF(directory == nullptr);
  errno = 0;
  while (const dirent* entry = readdir(directory)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
    errno = 0;
  }
  const VMStatus result = errno == 0 ? status::Ok : velmora::LastErrorOr();
  closedir(directory);
  // One order whatever the file system's: the same folder packs the same.
  std::sort(names.begin(), names.end());
  return result;
}

VMStatus ScanInto(const std::wstring& root, const std::wstring& relative, std::vector<FolderItem>& items,
                  std::wstring& error) {
  const std::wstring base = relative.empty() ? root : root + L"/" + relative;
  std::vector<std::string> names;
  const VMStatus listed = ReadNames(velmora::VMUtf16ToUtf8(base), names);
  if (listed != status::Ok) {
    error = L"cannot read the folder " + base + L": " + DescribeStatus(listed) + L".";
    return listed;
  }
  for (const std::string& name : names) {
    FolderItem item;
    const std::wstring wideName = velmora::VMUtf8ToUtf16(name);
    // Windows would read a backslash as a separator, and bytes that are not
    // UTF-8 have no name there at all: both are refused, not rewritten.
    if (name.find('\\') != std::string::npos || velmora::VMUtf16ToUtf8(wideName) != name) {
      std::wstring bytes;
      for (const unsigned char c : name) {
        wchar_t hex[8] = {};
        std::swprintf(hex, 8, c < 0x20 || c >= 0x7F || c == '\\' ? L"\\x%02X" : L"%c", c);
        bytes += hex;
      }
      error = L"the folder " + base + L" holds a name Windows cannot take (not UTF-8, or with a backslash): \"" +
              bytes + L"\".";
      return status::InvalidValue;
    }
    item.Path = relative.empty() ? wideName : relative + L"/" + wideName;
    item.FullPath = root + L"/" + item.Path;
    struct stat info {};
    if (lstat(velmora::VMUtf16ToUtf8(item.FullPath).c_str(), &info) != 0) {
      const VMStatus failed = velmora::LastErrorOr();
      error = L"cannot read " + item.FullPath + L": " + DescribeStatus(failed) + L".";
      return failed;
    }
    if (S_ISLNK(info.st_mode)) {
      error = L"the folder holds a link, which is not packed: " + item.FullPath + L".";
      return status::InvalidValue;
    }
    if (!S_ISDIR(info.st_mode) && !S_ISREG(info.st_mode)) {
      error = L"the folder holds something that is neither a file nor a folder: " + item.FullPath + L".";
      return status::InvalidValue;
    }
    item.IsDirectory = S_ISDIR(info.st_mode);
    item.Attributes = (item.IsDirectory ? kDirectory : kArchive) | ((info.st_mode & S_IWUSR) ? 0 : kReadOnly);
    item.ModificationTime = FileTime(info.st_mtim);
    item.Size = item.IsDirectory ? 0 : static_cast<std::uint64_t>(info.st_size);
    item.Device = static_cast<std::uint64_t>(info.st_dev);
    item.Inode = static_cast<std::uint64_t>(info.st_ino);
    const std::wstring child = item.Path;
    items.push_back(std::move(item));
    if (S_ISDIR(info.st_mode)) VM_RETURN_IF_FAILED(ScanInto(root, child, items, error));
  }
  return status::Ok;
}

}  // namespace

VMStatus ScanFolder(const std::wstring& folder, std::vector<FolderItem>& items, std::wstring& error) {
  items.clear();
  std::wstring root = folder;
  while (root.size() > 1 && root.back() == L'/') root.pop_back();
  struct stat info {};
  if (stat(velmora::VMUtf16ToUtf8(root).c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    error = L"the folder " + folder + L" does not exist.";
    return status::NotFound;
  }
  return ScanInto(root, L"", items, error);
}
