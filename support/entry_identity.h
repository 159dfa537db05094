// SPDX-License-Identifier: Apache-2.0
// Which file or folder a name leads to, told apart by its volume and file ID;
// the entries of an open folder, listed and opened through its handle; and
// the deletion of an entry through a handle opened on that very entry.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/vm_handle.h"
#include "support/vm_status.h"

// The 128-bit file ID where the system gives one (ReFS needs all of it: its
// 64-bit index is not unique), else the 64-bit index in `Index`.
struct EntryIdentity {
  std::uint64_t Volume = 0;
  std::uint64_t Index = 0;      // the file ID's low 64 bits
  std::uint64_t IndexHigh = 0;  // its high 64 bits; 0 on NTFS and FAT
  [[nodiscard]] bool Known() const { return Index != 0 || IndexHigh != 0; }
  friend bool operator==(const EntryIdentity&, const EntryIdentity&) = default;
};

// What the open `handle` is; the link count and attributes come with it.
[[nodiscard]] bool ReadEntry(HANDLE handle, EntryIdentity& identity, BY_HANDLE_FILE_INFORMATION& information);
// The identity of what `path` names itself, a link as the link; unknown when
// it cannot be opened.
[[nodiscard]] EntryIdentity IdentityOfPath(const std::wstring& path, bool folder);

// Opens `path` to look at, without following a link at its end; a folder
// that is some process's working folder opens this way too.
[[nodiscard]] velmora::VMUniqueFile OpenEntryToRead(const std::wstring& path, bool folder);

// Opens `path` for deletion without following a link at its end; anyone may
// keep reading, writing or deleting it meanwhile.
[[nodiscard]] velmora::VMUniqueFile OpenEntryForDeletion(const std::wstring& path, bool folder);

// Opens the folder `path` to list it, without following a link at its end
// and without sharing deletion: while the handle is open nobody can rename,
// delete or replace the folder. Its own working-folder handles do not stand
// in the way, since this handle does not ask for deletion itself.
[[nodiscard]] velmora::VMUniqueFile OpenFolderToWalk(const std::wstring& path);

// One entry of a listed folder. The identity's volume is the folder's.
struct ListedEntry {
  std::wstring Name;
  DWORD Attributes = 0;
  EntryIdentity Identity;
};

// Every entry of the folder open as `folder` (on the volume `volume`), but
// "." and "..", read through the handle from its first entry on.
[[nodiscard]] velmora::VMStatus ListOpenFolder(HANDLE folder, std::uint64_t volume, std::vector<ListedEntry>& entries);

// How a child of an open folder is opened.
enum class ChildOpen {
  ToWalk,          // a folder, as OpenFolderToWalk
  ForDeletion,     // anything, for deletion, as OpenEntryForDeletion
  DeletedOnClose,  // a file that goes when the handle closes
};

// Opens the entry `name` of the open folder `folder` by that one name, never
// through a link: the link itself when the entry is one. ERROR_DELETE_PENDING
// when the entry waits to go; other failures as Windows errors.
[[nodiscard]] velmora::VMStatus OpenChild(HANDLE folder, const std::wstring& name, ChildOpen how,
                                          velmora::VMUniqueFile& child);

// Marks the open entry for deletion. A read-only entry is deleted without
// touching its attributes where the system can; elsewhere its read-only bit
// is cleared only when `mayClearReadOnly` and the entry has no other name.
[[nodiscard]] velmora::VMStatus DeleteOpenEntry(HANDLE handle, const BY_HANDLE_FILE_INFORMATION& information,
                                                bool mayClearReadOnly);
