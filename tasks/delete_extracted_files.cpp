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


// Why something that the record names is left where it is.
void TraceLeft(const std::wstring& path, const char* reason, const char* function = VM_CALLER_NAME) {
  VM_TRACE_FROM(function, "WARNING", "%.200S left in place: %s\n", path.c_str(), reason);
}

// A folder being deleted, held from its check until its own removal. The
// handle shares no deletion, so nobody can rename or replace the folder
// while the clean-up works in it.
struct HeldFolder {
  std::wstring Path;  // for the trace and the folder's own removal
  EntryIdentity Identity;
  velmora::VMUniqueFile Handle;
};

// The tree operations over one run's record. An entry the extraction wrote
// goes whatever its attributes: a payload file marked as a system file would
// otherwise stay in the temporary folder for ever, with every folder above
// it. Anything else keeps the system attribute's protection.
//
// A tree is walked through handles only: each folder is listed through its
// held handle, and each entry in it is opened by its one listed name
// relative to that handle, without following a link, and deleted through
// the handle it opened. No path is resolved from its root again once the
// top folder is held, so a folder swapped for a junction on the way cannot
// lead the clean-up anywhere else; a name that now leads to something else
// can at worst make an entry stay.
class TreeRemover {
 public:
  explicit TreeRemover(const ExtractionRecord* record) : record_(record) {}

  // Entries left alone because they were no longer what the extraction made.
  unsigned Left = 0;

  // Opens the folder `path` to delete it, when it is a folder, no link, and
  // with `expected` still that folder. ERROR_SHARING_VIOLATION: another
  // handle may delete or rename it; it is not touched by its path instead.
  VMStatus Hold(const std::wstring& path, const EntryIdentity* expected, HeldFolder& held) {
    held.Path = path;
    held.Handle = OpenFolderToWalk(path);
    if (!held.Handle) return velmora::LastErrorOr();
    BY_HANDLE_FILE_INFORMATION information;
    if (!ReadEntry(held.Handle.get(), held.Identity, information)) return velmora::LastErrorOr();
    if (!Ours(path, held.Identity, information, expected)) {
      held.Handle.reset();
      return status::EntryLeftInPlace;
    }
    if (!(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      held.Handle.reset();
      return ERROR_DIRECTORY;
    }
    return status::Ok;
  }

  // Deletes everything in the held folder, then the folder. 0xEE000095:
  // nothing is left but entries whose deletion is pending or that a running
  // program or a working folder keeps, so the tree is tried again later.
  VMStatus DeleteTree(HeldFolder& held) {
    Pass pass;
    const VMStatus inside = DeleteContents(held.Handle.get(), held.Path, held.Identity.Volume, pass);
    // The held handle shares no deletion, not even with its own process.
    held.Handle.reset();
    if (inside != status::Ok) return inside;
    return pass.Result(RemoveFolder(held.Path, &held.Identity));
  }

  // Files that a running program's image kept, as far as the last pass saw.
  [[nodiscard]] const std::unordered_set<std::wstring>& InUse() const { return inUse_; }
  void StartPass() { inUse_.clear(); }

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

  // Removes the empty folder `folder`, through a handle on the folder
  // itself; with `expected`, only when it is still that folder.
  VMStatus RemoveFolder(const std::wstring& folder, const EntryIdentity* expected = nullptr) {
    const velmora::VMUniqueFile handle = OpenEntryForDeletion(folder, true);
    if (!handle) return velmora::LastErrorOr();
    return RemoveOpenFolder(handle.get(), folder, expected);
  }

 private:
  // What the entries of one folder came to.
  struct Pass {
    bool AllGoneOrPending = true;
    VMStatus First = status::Ok;
    void Failed(VMStatus failure) {
      AllGoneOrPending = false;
      if (First == status::Ok) First = failure;
    }
    // What the folder's own removal, which ended with `removed`, makes of
    // the folder.
    [[nodiscard]] VMStatus Result(VMStatus removed) const {
      if (removed == status::Ok) return First;
      // Besides a pending file, a program that has just ended may still hold
      // the folder as its working folder for a moment (its console host, a
      // helper it started); both let go soon.
      if ((removed == ERROR_DIR_NOT_EMPTY || removed == ERROR_SHARING_VIOLATION) && AllGoneOrPending) {
        return status::DirectoryNotEmpty;
      }
      return First != status::Ok ? First : removed;
    }
  };

  // Removes the folder open for deletion as `handle`, which is `path`, when
  // it is no link and with `expected` still that folder.
  VMStatus RemoveOpenFolder(HANDLE handle, const std::wstring& path, const EntryIdentity* expected) {
    EntryIdentity identity;
    BY_HANDLE_FILE_INFORMATION information;
    if (!ReadEntry(handle, identity, information)) return velmora::LastErrorOr();
    if (!Ours(path, identity, information, expected)) return status::EntryLeftInPlace;
    return DeleteOpenEntry(handle, information, true);
  }

  // Deletes every entry of the folder open as `folder`, which is `path`.
  VMStatus DeleteContents(HANDLE folder, const std::wstring& path, std::uint64_t volume, Pass& pass) {
    std::vector<ListedEntry> entries;
    VM_RETURN_IF_FAILED(ListOpenFolder(folder, volume, entries));
    for (const ListedEntry& entry : entries) {
      const std::wstring child = path + L"\\" + entry.Name;
      VMStatus deleted;
      if (Protected(child, entry.Attributes)) {
        deleted = status::EntryLeftInPlace;
      } else if (entry.Attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        deleted = RemoveLink(folder, entry, child);
      } else if (entry.Attributes & FILE_ATTRIBUTE_DIRECTORY) {
        deleted = DeleteSubfolder(folder, entry, child);
        if (deleted == status::DirectoryNotEmpty) deleted = status::Ok;
      } else {
        deleted = DeleteListedFile(folder, entry, child);
      }
      if (deleted != status::Ok) pass.Failed(deleted);
    }
    return status::Ok;
  }

  // The folder `entry` of the held `parent`: held in turn while its entries
  // go, then removed by its name in `parent` when that still names it.
  VMStatus DeleteSubfolder(HANDLE parent, const ListedEntry& entry, const std::wstring& path) {
    Pass pass;
    EntryIdentity identity;
    {
      velmora::VMUniqueFile folder;
      const VMStatus opened = OpenChild(parent, entry.Name, ChildOpen::ToWalk, folder);
      // Pending, or held by another handle that may delete or rename it:
      // tried again later, and never by its path instead.
      if (opened == ERROR_DELETE_PENDING || opened == ERROR_SHARING_VIOLATION) return status::DirectoryNotEmpty;
      if (IsMissing(opened)) return status::Ok;
      VM_RETURN_IF_FAILED(opened);
      BY_HANDLE_FILE_INFORMATION information;
      if (!ReadEntry(folder.get(), identity, information)) return velmora::LastErrorOr();
      if (!Ours(path, identity, information, &entry.Identity)) return status::EntryLeftInPlace;
      VM_RETURN_IF_FAILED(DeleteContents(folder.get(), path, identity.Volume, pass));
    }
    velmora::VMUniqueFile folder;
    VMStatus removed = OpenChild(parent, entry.Name, ChildOpen::ForDeletion, folder);
    if (removed == status::Ok) removed = RemoveOpenFolder(folder.get(), path, &identity);
    return pass.Result(removed);
  }

  // A file found in a folder being deleted. Whatever stands at its name in
  // the held folder goes, a link to a file as the link: it is inside a
  // folder the clean-up deletes whole. One open that deletes on closing, as
  // the system deletes a file by name, for all but read-only files and the
  // images of running programs.
  VMStatus DeleteListedFile(HANDLE folder, const ListedEntry& entry, const std::wstring& path) {
    if (!(entry.Attributes & FILE_ATTRIBUTE_READONLY)) {
      velmora::VMUniqueFile file;
      const VMStatus deleted = OpenChild(folder, entry.Name, ChildOpen::DeletedOnClose, file);
      if (deleted == status::Ok || deleted == ERROR_DELETE_PENDING) return status::Ok;
      if (IsMissing(deleted)) return status::NotFound;
      if (deleted != ERROR_ACCESS_DENIED) return deleted;
    }
    velmora::VMUniqueFile file;
    const VMStatus opened = OpenChild(folder, entry.Name, ChildOpen::ForDeletion, file);
    if (opened == ERROR_DELETE_PENDING) return status::Ok;
    if (IsMissing(opened)) return status::NotFound;
    VM_RETURN_IF_FAILED(opened);
    EntryIdentity identity;
    BY_HANDLE_FILE_INFORMATION information;
    if (!ReadEntry(file.get(), identity, information)) return velmora::LastErrorOr();
    if (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      // A folder put in the file's place since the listing.
      TraceLeft(path, "no longer what was listed");
      ++Left;
      return status::EntryLeftInPlace;
    }
    const VMStatus deleted = DeleteOpenEntry(file.get(), information, true);
    // Windows says only "access denied" for the image of a program still
    // running from the folder (a helper the Command left behind). It is
    // tried again with its folder, like a file whose deletion waits.
    if (deleted == ERROR_ACCESS_DENIED && !(information.dwFileAttributes & FILE_ATTRIBUTE_READONLY)) {
      inUse_.insert(path);
      return status::Ok;
    }
    return deleted;
  }

  // A junction or symbolic link is removed itself; what it points to may be
  // anything on the machine, so it is never entered. Its handle, opened
  // without following it, holds the link, and deleting through it removes
  // the link alone. Where the handle shows no link after all (Wine opens
  // the target of a Unix link), nothing is deleted.
  VMStatus RemoveLink(HANDLE folder, const ListedEntry& entry, const std::wstring& path) {
    ++Left;
    velmora::VMUniqueFile link;
    VMStatus removed = OpenChild(folder, entry.Name, ChildOpen::ForDeletion, link);
    if (IsMissing(removed) || removed == ERROR_DELETE_PENDING) return status::Ok;
    if (removed == status::Ok) {
      EntryIdentity identity;
      BY_HANDLE_FILE_INFORMATION information;
      if (!ReadEntry(link.get(), identity, information)) {
        removed = velmora::LastErrorOr();
      } else if (!(information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        removed = status::EntryLeftInPlace;
      } else {
        removed = DeleteOpenEntry(link.get(), information, false);
      }
    }
    TraceLeft(path, removed == status::Ok ? "a link, removed without entering it" : "a link, not entered");
    return removed;
  }

  bool Wrote(const std::wstring& path) const { return record_ != nullptr && record_->Wrote(path); }

  bool Protected(const std::wstring& path, DWORD attributes) const {
    return (attributes & FILE_ATTRIBUTE_SYSTEM) && !Wrote(path);
  }

  // An entry may be deleted when it is no link and, where the record or the
  // listing knows what it was, still that very entry: a name that leads to
  // something else now (a folder on its way replaced by a junction) must not
  // cost the owner of that something.
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

namespace {

// A tree to delete: its top folder, and what that folder is where that is
// known.
struct Tree {
  std::wstring Path;
  EntryIdentity Identity;
  [[nodiscard]] const EntryIdentity* Expected() const { return Identity.Known() ? &Identity : nullptr; }
};

}  // namespace

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
  std::vector<Tree> trees;
  if (!Record) {
    trees.push_back({target, {}});
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
      if (reachable(folder)) trees.push_back({folder.Path, folder.Identity});
    }
    for (const RecordedEntry& file : Record->Files()) {
      if (!InsideCreatedFolder(*Record, targetKey, file.Path) && reachable(file)) {
        (void)remover.DeleteOneFile(file.Path, &file.Identity);
      }
    }
  }

  // Each tree's top folder is checked and then held until its removal, so
  // that what is walked is what was checked.
  std::vector<HeldFolder> held;
  std::vector<Tree> pending;
  for (Tree& tree : trees) {
    // Nothing there, or nothing that can be looked at: nothing to delete.
    if (GetFileAttributesW(tree.Path.c_str()) == INVALID_FILE_ATTRIBUTES && GetLastError() != 0) continue;
    HeldFolder folder;
    const VMStatus checked = remover.Hold(tree.Path, tree.Expected(), folder);
    if (checked == status::Ok) {
      held.push_back(std::move(folder));
    } else if (checked == ERROR_SHARING_VIOLATION) {
      // Another handle may rename or delete the folder: deleting by its
      // path instead would follow whatever is put there. Its holder may
      // still let go.
      pending.push_back(std::move(tree));
    }
  }
  if (AfterCheck) AfterCheck();
  for (HeldFolder& folder : held) {
    if (remover.DeleteTree(folder) == status::DirectoryNotEmpty) pending.push_back({folder.Path, folder.Identity});
  }

  // Files held open by another process (a scanner, an installer's last
  // helper) go when it closes them; their trees are tried again until then,
  // each checked and held as before.
  const std::uint64_t start = StopwatchMs();
  while (!pending.empty() && StopwatchMs() - start < kRetryLimitMs) {
    Sleep(kRetryIntervalMs);
    remover.StartPass();
    std::vector<Tree> still;
    for (Tree& tree : pending) {
      HeldFolder folder;
      VMStatus result = remover.Hold(tree.Path, tree.Expected(), folder);
      if (result == status::Ok) {
        if (!tree.Identity.Known()) tree.Identity = folder.Identity;
        result = remover.DeleteTree(folder);
      } else if (IsMissing(result)) {
        continue;
      }
      if (result == status::DirectoryNotEmpty || result == ERROR_SHARING_VIOLATION) still.push_back(std::move(tree));
    }
    pending.swap(still);
  }
  for (const Tree& tree : pending) TraceLeft(tree.Path, "still in use");
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
    VM_TRACE("WARNING", "%u entries were no longer what was extracted\n", remover.Left);
  }
  return status::Ok;
}
