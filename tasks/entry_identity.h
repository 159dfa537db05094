// SPDX-License-Identifier: Apache-2.0
// Which file or folder a name leads to, told apart by its volume and file ID,
// and its deletion through a handle opened on that very entry.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "support/vm_handle.h"
#include "support/vm_status.h"

struct EntryIdentity {
  DWORD Volume = 0;
  std::uint64_t Index = 0;
  [[nodiscard]] bool Known() const { return Index != 0; }
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

// Marks the open entry for deletion. A read-only entry is deleted without
// touching its attributes where the system can; elsewhere its read-only bit
// is cleared only when `mayClearReadOnly` and the entry has no other name.
[[nodiscard]] velmora::VMStatus DeleteOpenEntry(HANDLE handle, const BY_HANDLE_FILE_INFORMATION& information,
                                                bool mayClearReadOnly);
