// SPDX-License-Identifier: Apache-2.0
#include "tasks/entry_identity.h"

using velmora::VMStatus;
namespace status = velmora::status;

namespace {

constexpr DWORD kNoFollow = FILE_FLAG_OPEN_REPARSE_POINT;
// FileDispositionInfoEx, which the headers declare only for newer targets
// than this one; older systems refuse the class.
constexpr auto kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);

velmora::VMUniqueFile OpenEntry(const std::wstring& path, DWORD access, bool folder) {
  return velmora::VMUniqueFile(CreateFileW(path.c_str(), access,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, kNoFollow | (folder ? FILE_FLAG_BACKUP_SEMANTICS : 0),
                                           nullptr));
}

bool MarkForDeletion(HANDLE handle) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}

}  // namespace

bool ReadEntry(HANDLE handle, EntryIdentity& identity, BY_HANDLE_FILE_INFORMATION& information) {
  if (!GetFileInformationByHandle(handle, &information)) return false;
  identity.Volume = information.dwVolumeSerialNumber;
  identity.Index = (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
  return true;
}

EntryIdentity IdentityOfPath(const std::wstring& path, bool folder) {
  EntryIdentity identity;
  BY_HANDLE_FILE_INFORMATION information;
  const velmora::VMUniqueFile entry = OpenEntryToRead(path, folder);
  if (!entry || !ReadEntry(entry.get(), identity, information)) return {};
  return identity;
}

velmora::VMUniqueFile OpenEntryToRead(const std::wstring& path, bool folder) {
  return OpenEntry(path, FILE_READ_ATTRIBUTES, folder);
}

velmora::VMUniqueFile OpenEntryForDeletion(const std::wstring& path, bool folder) {
  return OpenEntry(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, folder);
}

VMStatus DeleteOpenEntry(HANDLE handle, const BY_HANDLE_FILE_INFORMATION& information, bool mayClearReadOnly) {
  if (!(information.dwFileAttributes & FILE_ATTRIBUTE_READONLY)) {
    return MarkForDeletion(handle) ? status::Ok : velmora::LastErrorOr();
  }
  // Windows 10 1809 and later delete a read-only entry as it is, which
  // leaves the attributes of a file with other names untouched.
  FILE_DISPOSITION_INFO_EX ignoringReadOnly{FILE_DISPOSITION_FLAG_DELETE |
                                            FILE_DISPOSITION_FLAG_IGNORE_READONLY_ATTRIBUTE};
  if (SetFileInformationByHandle(handle, kDispositionInfoEx, &ignoringReadOnly, sizeof(ignoringReadOnly))) {
    return status::Ok;
  }
  // Attributes belong to the file, not the name: with another name (a hard
  // link, perhaps outside the folder) clearing the bit would change a file
  // that is not ours, so such an entry stays.
  if (!mayClearReadOnly || information.nNumberOfLinks != 1) return ERROR_ACCESS_DENIED;
  FILE_BASIC_INFO basic{};
  basic.FileAttributes = (information.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY) ?: FILE_ATTRIBUTE_NORMAL;
  if (!SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof(basic))) return velmora::LastErrorOr();
  return MarkForDeletion(handle) ? status::Ok : velmora::LastErrorOr();
}
