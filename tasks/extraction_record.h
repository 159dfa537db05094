// SPDX-License-Identifier: Apache-2.0
// What one extraction made on disk: the folders it created and the files it
// wrote. The clean-up removes exactly that, so a target folder that already
// held the user's files keeps them. Each entry keeps its identity as well
// as its name: the name may lead elsewhere by the time of the clean-up (a
// folder on the way replaced by a link), the identity cannot.
#pragma once

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "support/vm_handle.h"
#include "support/entry_identity.h"
#include "support/vm_status.h"

struct RecordedEntry {
  std::wstring Path;
  EntryIdentity Identity;
};

class ExtractionRecord {
 public:
  // A folder just created, whose identity is read from its name at once.
  void AddFolder(const std::wstring& path);
  // A file being written through `file`.
  void AddFile(const std::wstring& path, HANDLE file);

  // Whether the run created the folder whose PathKey form is `key`; that
  // form compares paths as Windows names them: either separator, repeated
  // separators, any letter case.
  [[nodiscard]] bool CreatedFolderKey(const std::wstring& key) const { return folderKeys_.count(key) != 0; }
  [[nodiscard]] bool Wrote(const std::wstring& path) const;

  // In the order they were made, so a folder comes before its contents.
  [[nodiscard]] const std::vector<RecordedEntry>& Folders() const { return folders_; }
  [[nodiscard]] const std::vector<RecordedEntry>& Files() const { return files_; }

  // Set for a launch run: an item whose place in the target is taken ends
  // the extraction before anything is written, since whatever stands there
  // is not the payload's and the clean-up would not give it back. An
  // extract stub replaces, as its user asked for the payload in that place.
  bool KeepExisting = false;

  // Set for an elevated run: each file stays open from its writing until the
  // Command has ended, sharing only reading, so nobody can change, rename or
  // delete what the elevated program reads, while the program, the loader
  // and msiexec can still open it. The handle reads only: one that could
  // write would make every opener that does not share writing fail.
  bool KeepFilesLocked = false;
  // Opens the written file `path` again for reading as above and keeps the
  // handle.
  [[nodiscard]] velmora::VMStatus Lock(const std::wstring& path);
  // Closes those handles, before the clean-up deletes the files.
  void ReleaseLocks() { locks_.clear(); }

 private:
  std::vector<velmora::VMUniqueFile> locks_;
  std::vector<RecordedEntry> folders_;
  std::vector<RecordedEntry> files_;
  std::unordered_set<std::wstring> folderKeys_;
  std::unordered_map<std::wstring, std::size_t> fileKeys_;  // index in files_
};

// `path` in its plain form with `\` separators, no repeated or trailing ones,
// in upper case: two spellings of one place give the same key.
[[nodiscard]] std::wstring PathKey(const std::wstring& path);
