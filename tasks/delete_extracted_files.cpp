#include "tasks/delete_extracted_files.h"

#include <windows.h>

#include <string>
#include <vector>

#include "support/vm_handle.h"
#include "support/vm_win_long_path.h"

using velmora::VMStatus;
namespace status = velmora::status;

namespace {

// A folder still holding a file whose deletion waits for another process to
// close it is tried again this often, for this long.
constexpr DWORD kRetryIntervalMs = 50;
constexpr std::uint64_t kRetryLimitMs = 5000;

bool IsMissing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

std::uint64_t StopwatchMs() {
  static const std::uint64_t frequency = [] {
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    return static_cast<std::uint64_t>(f.QuadPart);
  }();
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  return frequency == 0 ? GetTickCount64() : static_cast<std::uint64_t>(now.QuadPart) * 1000 / frequency;
}

// All entries of `folder` but "." and "..", read before anything in it is
// touched so that deleting cannot disturb the listing.
VMStatus ListFolder(const std::wstring& folder, std::vector<WIN32_FIND_DATAW>& entries) {
  entries.clear();
  WIN32_FIND_DATAW entry;
  velmora::VMUniqueFind find(FindFirstFileW((folder + L"\\*").c_str(), &entry));
  if (!find) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? status::Ok : velmora::LastErrorOr();
  }
  do {
    const std::wstring name = entry.cFileName;
    if (name != L"." && name != L"..") entries.push_back(entry);
  } while (FindNextFileW(find.get(), &entry));
  const DWORD error = GetLastError();
  return error == ERROR_NO_MORE_FILES ? status::Ok : velmora::LastErrorOr();
}

// The tree operations over one run's record. An entry the extraction wrote
// goes whatever its attributes: a payload file marked as a system file would
// otherwise stay in the temporary folder for ever, with every folder above
// it. Anything else keeps the system attribute's protection.
class TreeRemover {
 public:
  explicit TreeRemover(const ExtractionRecord* record) : record_(record) {}

  // Deletes `folder` with everything below it. 0xEE000095: nothing is left
  // but files whose deletion is pending, so the folders can go later.
  VMStatus DeleteTree(const std::wstring& folder) const {
    bool allGoneOrPending = true;
    VMStatus first = status::Ok;
    const auto failed = [&](VMStatus failure) {
      allGoneOrPending = false;
      if (first == status::Ok) first = failure;
    };
    std::vector<WIN32_FIND_DATAW> entries;
    VM_RETURN_IF_FAILED(ListFolder(folder, entries));
    for (const WIN32_FIND_DATAW& entry : entries) {
      const std::wstring path = folder + L"\\" + entry.cFileName;
      const DWORD attributes = entry.dwFileAttributes;
      if (Protected(path, attributes)) {
        failed(status::EntryLeftInPlace);
      } else if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        const VMStatus removed = RemoveLink(path, attributes);
        if (removed != status::Ok) failed(removed);
      } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        const VMStatus deleted = DeleteTree(path);
        if (deleted != status::Ok && deleted != status::DirectoryNotEmpty) failed(deleted);
      } else {
        const VMStatus deleted = DeleteOneFile(path);
        if (deleted != status::Ok) failed(deleted);
      }
    }
    if (!RemoveFolder(folder)) {
      // Besides a pending file, a program that has just ended may still hold
      // the folder as its working folder for a moment (its console host, a
      // helper it started); both let go soon.
      const DWORD error = GetLastError();
      if ((error == ERROR_DIR_NOT_EMPTY || error == ERROR_SHARING_VIOLATION) && allGoneOrPending) {
        return status::DirectoryNotEmpty;
      }
      if (error != 0 && first == status::Ok) return error;
    }
    return first;
  }

  // Removes the folders of `folder` that hold nothing any more; `notRemoved`
  // counts those that still stand.
  VMStatus RemoveEmptyTree(const std::wstring& folder, unsigned& notRemoved) const {
    notRemoved = 0;
    if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES && IsMissing(GetLastError())) return status::Ok;
    std::vector<WIN32_FIND_DATAW> entries;
    VM_RETURN_IF_FAILED(ListFolder(folder, entries));
    bool removable = true;
    VMStatus first = status::Ok;
    for (const WIN32_FIND_DATAW& entry : entries) {
      const std::wstring path = folder + L"\\" + entry.cFileName;
      const DWORD attributes = entry.dwFileAttributes;
      if (Protected(path, attributes)) {
        removable = false;
        if (first == status::Ok) first = status::EntryLeftInPlace;
      } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        unsigned childNotRemoved = 0;
        const VMStatus child = RemoveEmptyTree(path, childNotRemoved);
        notRemoved += childNotRemoved;
        if (childNotRemoved != 0 || child != status::Ok) removable = false;
        if (child != status::Ok && first == status::Ok) first = child;
      } else {
        // A file still there (its deletion pending) or a link that would
        // not go.
        removable = false;
      }
    }
    if (!removable) {
      ++notRemoved;
      return first;
    }
    if (!RemoveFolder(folder)) {
      const DWORD error = GetLastError();
      if (error != 0) {
        ++notRemoved;
        // Still someone's working folder: worth another try.
        if (first == status::Ok && error != ERROR_SHARING_VIOLATION) first = error;
      }
    }
    return first;
  }

  // A file that is gone or whose deletion is pending counts as deleted.
  VMStatus DeleteOneFile(const std::wstring& path) const {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      const DWORD error = GetLastError();
      if (IsMissing(error)) return status::NotFound;
      if (error != 0) return error;
    } else if ((attributes & kClearable) && (attributes & ClearedAttributes(path))) {
      if (!SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL) && GetLastError() != 0) return GetLastError();
    }
    if (!DeleteFileW(path.c_str()) && GetLastError() != 0) return GetLastError();
    // An accepted deletion leaves the file gone or pending until another
    // process closes it. Opening it again cannot tell the two apart
    // everywhere (Windows refuses a pending file, Wine opens it), and a
    // pending file counted as a failure would keep its folders in the
    // temporary folder for good; the folders are simply tried again.
    return status::Ok;
  }

 private:
  bool Wrote(const std::wstring& path) const { return record_ != nullptr && record_->Wrote(path); }

  bool Protected(const std::wstring& path, DWORD attributes) const {
    return (attributes & FILE_ATTRIBUTE_SYSTEM) && !Wrote(path);
  }

  // The attributes that would stop a deletion and are cleared first: all of
  // them on what the extraction wrote, only the read-only one elsewhere.
  static constexpr DWORD kClearable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN;
  DWORD ClearedAttributes(const std::wstring& path) const {
    return Wrote(path) ? kClearable : FILE_ATTRIBUTE_READONLY;
  }

  bool RemoveFolder(const std::wstring& folder) const {
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kClearable) && (attributes & ClearedAttributes(folder))) {
      SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_DIRECTORY);
    }
    return RemoveDirectoryW(folder.c_str());
  }

  // A junction or symbolic link is removed itself; what it points to may be
  // anything on the machine, so it is never entered. RemoveDirectoryW
  // removes a folder link without touching its target.
  static VMStatus RemoveLink(const std::wstring& path, DWORD attributes) {
    const bool removed = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(path.c_str())
                                                                 : DeleteFileW(path.c_str());
    return removed ? status::Ok : velmora::LastErrorOr();
  }

  const ExtractionRecord* record_;
};

// Whether a proper ancestor of `path`, down from `target` itself, was created
// by the extraction: then `path` goes with it.
bool InsideCreatedFolder(const ExtractionRecord& record, const std::wstring& targetKey, const std::wstring& path) {
  std::wstring key = PathKey(path);
  for (std::size_t cut = key.rfind(L'\\'); cut != std::wstring::npos && cut >= targetKey.size(); cut = key.rfind(L'\\')) {
    key.resize(cut);
    if (record.CreatedFolderKey(key)) return true;
  }
  return false;
}

bool AtOrBelow(const std::wstring& targetKey, const std::wstring& path) {
  const std::wstring key = PathKey(path);
  return key == targetKey || (key.size() > targetKey.size() && key.compare(0, targetKey.size(), targetKey) == 0 &&
                              key[targetKey.size()] == L'\\');
}

}  // namespace

DeleteExtractedFiles::DeleteExtractedFiles() { Description = L"Extracted files are being deleted. Please wait..."; }

VMStatus DeleteExtractedFiles::run(std::uint32_t& exitCodeOut) {
  exitCodeOut = 0;
  // The Command has ended: the files the elevated run kept locked may go.
  if (Record) Record->ReleaseLocks();
  // The long form, as the extraction used: deep trees stay reachable and
  // names are taken literally.
  std::wstring target;
  if (velmora::VMWinLongPath(TargetFolder, target) != status::Ok) target = TargetFolder;
  while (target.size() > 1 && (target.back() == L'\\' || target.back() == L'/')) target.pop_back();
  const TreeRemover remover(Record.get());

  // The trees to delete whole. A folder the extraction created held nothing
  // before, so all of it goes; in a folder that existed already (a --target
  // naming the user's own folder) only what the extraction wrote goes.
  std::vector<std::wstring> trees;
  if (!Record) {
    trees.push_back(target);
  } else {
    const std::wstring targetKey = PathKey(target);
    for (const std::wstring& folder : Record->Folders()) {
      if (AtOrBelow(targetKey, folder) && !InsideCreatedFolder(*Record, targetKey, folder)) trees.push_back(folder);
    }
    for (const std::wstring& file : Record->Files()) {
      if (!InsideCreatedFolder(*Record, targetKey, file)) (void)remover.DeleteOneFile(file);
    }
  }

  std::vector<std::wstring> pending;
  for (const std::wstring& tree : trees) {
    const DWORD attributes = GetFileAttributesW(tree.c_str());
    // Nothing there, or nothing that can be looked at: nothing to delete.
    if (attributes == INVALID_FILE_ATTRIBUTES && GetLastError() != 0) continue;
    // A folder of the payload that the program replaced by a link: only the
    // link goes.
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      RemoveDirectoryW(tree.c_str());
      continue;
    }
    if (remover.DeleteTree(tree) == status::DirectoryNotEmpty) pending.push_back(tree);
  }

  // Files held open by another process (a scanner, an installer's last
  // helper) go when it closes them; their folders are tried again until then.
  const std::uint64_t start = StopwatchMs();
  while (!pending.empty() && StopwatchMs() - start < kRetryLimitMs) {
    Sleep(kRetryIntervalMs);
    std::vector<std::wstring> still;
    for (const std::wstring& tree : pending) {
      unsigned notRemoved = 0;
      if (remover.RemoveEmptyTree(tree, notRemoved) == status::Ok && notRemoved != 0) still.push_back(tree);
    }
    pending.swap(still);
  }

  // Parents the extraction created above the target folder go when empty.
  if (Record) {
    const std::wstring targetKey = PathKey(target);
    const std::vector<std::wstring>& folders = Record->Folders();
    for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
      if (!AtOrBelow(targetKey, *folder)) RemoveDirectoryW(folder->c_str());
    }
  }
  return status::Ok;
}
