// SPDX-License-Identifier: Apache-2.0
#include "tasks/delete_extracted_files.h"

#include <windows.h>

#include <string>
#include <unordered_set>
#include <vector>

#include "support/vm_handle.h"
#include "support/vm_trace.h"
#include "support/vm_win_long_path.h"

using velmora::VMStatus;
namespace status = velmora::status;

namespace {

// A folder still holding a file whose deletion waits for another process to
// close it, or the image of a program still running, is tried again this
// often, for this long.
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

// Why something that the record names is left where it is.
void TraceLeft(const std::wstring& path, const char* reason) {
  velmora::VMTrace("WARNING: %s: %.200S left in place: %s\n", "DeleteExtractedFiles::run", path.c_str(), reason);
}

// The tree operations over one run's record. An entry the extraction wrote
// goes whatever its attributes: a payload file marked as a system file would
// otherwise stay in the temporary folder for ever, with every folder above
// it. Anything else keeps the system attribute's protection.
//
// Everything is opened without following a link at its end and deleted
// through that handle, so what is deleted is what was looked at: a name that
// now leads elsewhere can at worst make an entry stay.
class TreeRemover {
 public:
  explicit TreeRemover(const ExtractionRecord* record) : record_(record) {}

  // Entries left alone because they were no longer what the extraction made.
  unsigned Left = 0;

  // Deletes `folder` with everything below it. 0xEE000095: nothing is left
  // but files whose deletion is pending, so the folders can go later.
  VMStatus DeleteTree(const std::wstring& folder) {
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
        const VMStatus deleted = DeleteListedFile(path, attributes);
        if (deleted != status::Ok) failed(deleted);
      }
    }
    const VMStatus removed = RemoveFolder(folder);
    if (removed != status::Ok) {
      // Besides a pending file, a program that has just ended may still hold
      // the folder as its working folder for a moment (its console host, a
      // helper it started); both let go soon.
      if ((removed == ERROR_DIR_NOT_EMPTY || removed == ERROR_SHARING_VIOLATION) && allGoneOrPending) {
        return status::DirectoryNotEmpty;
      }
      if (first == status::Ok) return removed;
    }
    return first;
  }

  // Removes the folders of `folder` that hold nothing any more; `notRemoved`
  // counts those that still stand.
  VMStatus RemoveEmptyTree(const std::wstring& folder, unsigned& notRemoved) {
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
      } else if (!WentOnRetry(path, attributes)) {
        // A file still there (its deletion pending, or a program still
        // running from it) or a link that would not go.
        removable = false;
      }
    }
    if (!removable) {
      ++notRemoved;
      return first;
    }
    const VMStatus removed = RemoveFolder(folder);
    if (removed != status::Ok) {
      ++notRemoved;
      // Still someone's working folder: worth another try.
      if (first == status::Ok && removed != ERROR_SHARING_VIOLATION) first = removed;
    }
    return first;
  }

  // A file found in a folder the extraction created. Nothing was recorded for
  // it to compare with, and DeleteFileW removes a link at the end of a path
  // itself, never what it leads to, so a plain file goes by name: one call,
  // where the handle takes four. A read-only one goes through a handle, so
  // that a file with other names keeps its attributes.
  VMStatus DeleteListedFile(const std::wstring& path, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_READONLY) return DeleteOneFile(path, nullptr);
    if (DeleteFileW(path.c_str())) return status::Ok;
    const DWORD error = GetLastError();
    if (IsMissing(error)) return status::NotFound;
    if (error != ERROR_ACCESS_DENIED) return velmora::LastErrorOr();
    // By name Windows says only "access denied" for the image of a program
    // still running from the folder (a helper the Command left behind).
    // Such a file opens for deletion and refuses only the deletion itself;
    // it is tried again with its folder, like a file whose deletion waits.
    const velmora::VMUniqueFile file = OpenEntryForDeletion(path, false);
    if (!file) return error;
    BY_HANDLE_FILE_INFORMATION plain{};
    plain.dwFileAttributes = attributes;
    const VMStatus deleted = DeleteOpenEntry(file.get(), plain, false);
    if (deleted == ERROR_ACCESS_DENIED) inUse_.insert(path);
    return deleted == ERROR_ACCESS_DENIED ? status::Ok : deleted;
  }

  // Whether `path`, a file that a running program's image kept at the last
  // attempt, went now that the program has ended.
  bool WentOnRetry(const std::wstring& path, DWORD attributes) {
    return inUse_.erase(path) != 0 && DeleteListedFile(path, attributes) == status::Ok && inUse_.count(path) == 0;
  }

  // Files that a running program's image kept, as far as the last attempt
  // saw.
  [[nodiscard]] const std::unordered_set<std::wstring>& InUse() const { return inUse_; }

  // Deletes the file `path`; with `expected`, only when it is still that
  // file. A file that is gone or whose deletion is pending counts as
  // deleted.
  VMStatus DeleteOneFile(const std::wstring& path, const EntryIdentity* expected) {
    const velmora::VMUniqueFile file = OpenEntryForDeletion(path, false);
    if (!file) {
      const DWORD error = GetLastError();
      if (IsMissing(error)) return status::NotFound;
      return velmora::LastErrorOr();
    }
    EntryIdentity identity;
    BY_HANDLE_FILE_INFORMATION information;
    if (!ReadEntry(file.get(), identity, information)) return velmora::LastErrorOr();
    if (!Ours(path, identity, information, expected)) return status::EntryLeftInPlace;
    // An accepted deletion leaves the file gone or pending until another
    // process closes it. Opening it again cannot tell the two apart
    // everywhere (Windows refuses a pending file, Wine opens it), and a
    // pending file counted as a failure would keep its folders in the
    // temporary folder for good; the folders are simply tried again.
    return DeleteOpenEntry(file.get(), information, true);
  }

  // Whether the folder `entry` names is still the one the extraction made.
  // Looked at without asking for deletion: a program that has just ended may
  // still hold it as its working folder, which only its removal waits for.
  bool SameFolder(const RecordedEntry& entry) {
    const velmora::VMUniqueFile folder = OpenEntryToRead(entry.Path, true);
    EntryIdentity identity;
    BY_HANDLE_FILE_INFORMATION information;
    return folder && ReadEntry(folder.get(), identity, information) &&
           Ours(entry.Path, identity, information, &entry.Identity);
  }

  // Removes the empty folder `folder`, through a handle on the folder
  // itself; with `expected`, only when it is still that folder.
  VMStatus RemoveFolder(const std::wstring& folder, const EntryIdentity* expected = nullptr) {
    const velmora::VMUniqueFile handle = OpenEntryForDeletion(folder, true);
    if (!handle) return velmora::LastErrorOr();
    EntryIdentity identity;
    BY_HANDLE_FILE_INFORMATION information;
    if (!ReadEntry(handle.get(), identity, information)) return velmora::LastErrorOr();
    if (!Ours(folder, identity, information, expected)) return status::EntryLeftInPlace;
    return DeleteOpenEntry(handle.get(), information, true);
  }

 private:
  bool Wrote(const std::wstring& path) const { return record_ != nullptr && record_->Wrote(path); }

  bool Protected(const std::wstring& path, DWORD attributes) const {
    return (attributes & FILE_ATTRIBUTE_SYSTEM) && !Wrote(path);
  }

  // An entry may be deleted when it is no link and, where the record knows
  // what it was, still that very entry: a name that leads to something else
  // now (a folder on its way replaced by a junction) must not cost the
  // owner of that something.
  bool Ours(const std::wstring& path, const EntryIdentity& identity, const BY_HANDLE_FILE_INFORMATION& information,
            const EntryIdentity* expected) {
    if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      TraceLeft(path, "a link");
    } else if (expected != nullptr && !(expected->Known() && identity == *expected)) {
      TraceLeft(path, "not what was extracted");
    } else {
      return true;
    }
    ++Left;
    return false;
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
  std::unordered_set<std::wstring> inUse_;
};

// Whether a folder between `target` and `path` is a link now: the name then
// leads somewhere else than when it was written.
bool ThroughLink(const std::wstring& target, const std::wstring& path) {
  for (std::size_t cut = path.find(L'\\', target.size() + 1); cut != std::wstring::npos;
       cut = path.find(L'\\', cut + 1)) {
    const DWORD attributes = GetFileAttributesW(path.substr(0, cut).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
  }
  return false;
}

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
  TreeRemover remover(Record.get());

  // The trees to delete whole. A folder the extraction created held nothing
  // before, so all of it goes; in a folder that existed already (a --target
  // naming the user's own folder) only what the extraction wrote goes.
  std::vector<std::wstring> trees;
  if (!Record) {
    trees.push_back(target);
  } else {
    const std::wstring targetKey = PathKey(target);
    // A recorded entry whose name now runs through a link, or leads to
    // another entry than the one made, is not ours to delete any more.
    const auto reachable = [&](const RecordedEntry& entry) {
      if (!ThroughLink(target, entry.Path)) return true;
      TraceLeft(entry.Path, "its path runs through a link");
      ++remover.Left;
      return false;
    };
    for (const RecordedEntry& folder : Record->Folders()) {
      if (!AtOrBelow(targetKey, folder.Path) || InsideCreatedFolder(*Record, targetKey, folder.Path)) continue;
      if (GetFileAttributesW(folder.Path.c_str()) == INVALID_FILE_ATTRIBUTES && GetLastError() != 0) continue;
      if (reachable(folder) && remover.SameFolder(folder)) trees.push_back(folder.Path);
    }
    for (const RecordedEntry& file : Record->Files()) {
      if (!InsideCreatedFolder(*Record, targetKey, file.Path) && reachable(file)) {
        (void)remover.DeleteOneFile(file.Path, &file.Identity);
      }
    }
  }

  std::vector<std::wstring> pending;
  for (const std::wstring& tree : trees) {
    // Nothing there, or nothing that can be looked at: nothing to delete.
    if (GetFileAttributesW(tree.c_str()) == INVALID_FILE_ATTRIBUTES && GetLastError() != 0) continue;
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
  for (const std::wstring& tree : pending) TraceLeft(tree, "still in use");
  for (const std::wstring& image : remover.InUse()) TraceLeft(image, "a program still runs from it");

  // Parents the extraction created above the target folder go when empty
  // and still the folders it made.
  if (Record) {
    const std::wstring targetKey = PathKey(target);
    const std::vector<RecordedEntry>& folders = Record->Folders();
    for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
      if (!AtOrBelow(targetKey, folder->Path)) (void)remover.RemoveFolder(folder->Path, &folder->Identity);
    }
  }
  if (remover.Left != 0) {
    velmora::VMTrace("WARNING: %s: %u entries were no longer what was extracted\n", "DeleteExtractedFiles::run",
                     remover.Left);
  }
  return status::Ok;
}
