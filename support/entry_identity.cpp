// SPDX-License-Identifier: Apache-2.0
#include "support/entry_identity.h"

#include <winternl.h>

#include <cstddef>
#include <cstring>

using velmora::VMStatus;
namespace status = velmora::status;

namespace {

constexpr DWORD kNoFollow = FILE_FLAG_OPEN_REPARSE_POINT;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Reading and writing may go on; renaming and deleting may not.
constexpr DWORD kShareNoDelete = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kWalkAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr DWORD kDeleteAccess = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
// FileDispositionInfoEx, which the headers declare only for newer targets
// than this one; older systems refuse the class.
constexpr auto kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr NTSTATUS kStatusDeletePending = static_cast<NTSTATUS>(0xC0000056);

velmora::VMUniqueFile OpenEntry(const std::wstring& path, DWORD access, DWORD share, bool folder) {
  return velmora::VMUniqueFile(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                           kNoFollow | (folder ? FILE_FLAG_BACKUP_SEMANTICS : 0), nullptr));
}

bool MarkForDeletion(HANDLE handle) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}

// The two functions of the system's native layer that open a name relative
// to an open folder. Win32 has no such open: every Win32 open resolves a
// whole path from its root, through whatever links lie on it now. ntdll.dll
// is mapped into every process before its first instruction, so looking it
// up loads nothing and searches no folder.
struct NativeOpen {
  using CreateFile = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                      ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
  using ToDosError = ULONG(NTAPI*)(NTSTATUS);
  CreateFile Create = nullptr;
  ToDosError Error = nullptr;

  static const NativeOpen& Get() {
    static const NativeOpen bound = [] {
      NativeOpen functions;
      if (const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll")) {
        functions.Create = reinterpret_cast<CreateFile>(
            reinterpret_cast<void*>(GetProcAddress(ntdll, "NtCreateFile")));
        functions.Error = reinterpret_cast<ToDosError>(
            reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlNtStatusToDosError")));
      }
      if (functions.Create == nullptr || functions.Error == nullptr) functions = {};
      return functions;
    }();
    return bound;
  }
};

// Reads one batch of a folder's entries in the class `information`; false
// with ERROR_NO_MORE_FILES at the end.
bool ReadBatch(HANDLE folder, FILE_INFO_BY_HANDLE_CLASS information, std::vector<std::uint64_t>& buffer) {
  return GetFileInformationByHandleEx(folder, information, buffer.data(),
                                      static_cast<DWORD>(buffer.size() * sizeof(buffer[0]))) != FALSE;
}

// Where the two listing classes keep what the clean-up reads of an entry.
struct RecordLayout {
  std::size_t Id;
  std::size_t IdBytes;
  std::size_t Name;
};
constexpr RecordLayout kWideIds{offsetof(FILE_ID_EXTD_DIR_INFO, FileId), 16, offsetof(FILE_ID_EXTD_DIR_INFO, FileName)};
constexpr RecordLayout kNarrowIds{offsetof(FILE_ID_BOTH_DIR_INFO, FileId), 8, offsetof(FILE_ID_BOTH_DIR_INFO, FileName)};
// Both begin alike up to the name's length.
static_assert(offsetof(FILE_ID_EXTD_DIR_INFO, FileAttributes) == offsetof(FILE_ID_BOTH_DIR_INFO, FileAttributes));
static_assert(offsetof(FILE_ID_EXTD_DIR_INFO, FileNameLength) == offsetof(FILE_ID_BOTH_DIR_INFO, FileNameLength));

void TakeBatch(const std::vector<std::uint64_t>& buffer, const RecordLayout& layout, std::uint64_t volume,
               std::vector<ListedEntry>& entries) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
  for (std::size_t offset = 0;;) {
    const auto* record = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes + offset);
    std::wstring name(reinterpret_cast<const wchar_t*>(bytes + offset + layout.Name),
                      record->FileNameLength / sizeof(wchar_t));
    if (name != L"." && name != L"..") {
      std::uint64_t id[2] = {};
      std::memcpy(id, bytes + offset + layout.Id, layout.IdBytes);
      entries.push_back({std::move(name), record->FileAttributes, {volume, id[0], id[1]}});
    }
    if (record->NextEntryOffset == 0) break;
    offset += record->NextEntryOffset;
  }
}

}  // namespace

bool ReadEntry(HANDLE handle, EntryIdentity& identity, BY_HANDLE_FILE_INFORMATION& information) {
  if (!GetFileInformationByHandle(handle, &information)) return false;
  // The 128-bit ID where the file system gives one. Windows 7 and some file
  // systems refuse the class; their 64-bit index is then all there is.
  FILE_ID_INFO id{};
  if (GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof(id))) {
    identity.Volume = id.VolumeSerialNumber;
    std::memcpy(&identity.Index, id.FileId.Identifier, 8);
    std::memcpy(&identity.IndexHigh, id.FileId.Identifier + 8, 8);
  } else {
    identity.Volume = information.dwVolumeSerialNumber;
    identity.Index = (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    identity.IndexHigh = 0;
  }
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
  return OpenEntry(path, FILE_READ_ATTRIBUTES, kShareAll, folder);
}

velmora::VMUniqueFile OpenEntryForDeletion(const std::wstring& path, bool folder) {
  return OpenEntry(path, kDeleteAccess, kShareAll, folder);
}

velmora::VMUniqueFile OpenFolderToWalk(const std::wstring& path) {
  return OpenEntry(path, kWalkAccess, kShareNoDelete, true);
}

VMStatus ListOpenFolder(HANDLE folder, std::uint64_t volume, std::vector<ListedEntry>& entries) {
  entries.clear();
  std::vector<std::uint64_t> buffer(64 * 1024 / sizeof(std::uint64_t));
  // The 128-bit IDs where the system lists them (Windows 8 and later); the
  // 64-bit ones where it refuses that class.
  bool wide = true;
  bool more = ReadBatch(folder, FileIdExtdDirectoryRestartInfo, buffer);
  if (!more && GetLastError() != ERROR_NO_MORE_FILES) {
    wide = false;
    more = ReadBatch(folder, FileIdBothDirectoryRestartInfo, buffer);
  }
  while (more) {
    TakeBatch(buffer, wide ? kWideIds : kNarrowIds, volume, entries);
    more = ReadBatch(folder, wide ? FileIdExtdDirectoryInfo : FileIdBothDirectoryInfo, buffer);
  }
  const DWORD error = GetLastError();
  return error == ERROR_NO_MORE_FILES || error == ERROR_FILE_NOT_FOUND ? status::Ok : velmora::LastErrorOr();
}

VMStatus OpenChild(HANDLE folder, const std::wstring& name, ChildOpen how, velmora::VMUniqueFile& child) {
  child.reset();
  const NativeOpen& native = NativeOpen::Get();
  if (native.Create == nullptr) return ERROR_PROC_NOT_FOUND;
  if (name.empty() || name.size() > 32767) return ERROR_INVALID_NAME;
  // The name exactly as listed, one level below the held folder: nothing on
  // the way to it can be a link, and the entry itself is opened as it is,
  // a link as the link.
  UNICODE_STRING ntName;
  ntName.Buffer = const_cast<PWSTR>(name.c_str());
  ntName.Length = ntName.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &ntName, 0, folder, nullptr);
  ULONG access = kDeleteAccess | SYNCHRONIZE;
  ULONG share = kShareAll;
  ULONG options = FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT | FILE_SYNCHRONOUS_IO_NONALERT;
  if (how == ChildOpen::ToWalk) {
    access = kWalkAccess;
    share = kShareNoDelete;
    options |= FILE_DIRECTORY_FILE;
  } else if (how == ChildOpen::DeletedOnClose) {
    access = DELETE | SYNCHRONIZE;
    options |= FILE_NON_DIRECTORY_FILE | FILE_DELETE_ON_CLOSE;
  }
  HANDLE opened = nullptr;
  IO_STATUS_BLOCK io{};
  const NTSTATUS result =
      native.Create(&opened, access, &attributes, &io, nullptr, 0, share, FILE_OPEN, options, nullptr, 0);
  if (result == kStatusDeletePending) return ERROR_DELETE_PENDING;
  if (result < 0) {
    const ULONG error = native.Error(result);
    return error != 0 ? error : status::Failed;
  }
  child.reset(opened);
  return status::Ok;
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
