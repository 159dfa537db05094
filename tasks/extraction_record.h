// What one extraction made on disk: the folders it created and the files it
// wrote. The clean-up removes exactly that, so a target folder that already
// held the user's files keeps them.
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

#include "support/vm_handle.h"
#include "support/vm_status.h"

class ExtractionRecord {
 public:
  void AddFolder(const std::wstring& path);
  void AddFile(const std::wstring& path);

  // Paths compare as Windows names them: either separator, repeated
  // separators, any letter case.
  [[nodiscard]] bool CreatedFolder(const std::wstring& path) const;
  // The same for a path already in its PathKey form.
  [[nodiscard]] bool CreatedFolderKey(const std::wstring& key) const { return folderKeys_.count(key) != 0; }
  [[nodiscard]] bool Wrote(const std::wstring& path) const;

  // In the order they were made, so a folder comes before its contents.
  [[nodiscard]] const std::vector<std::wstring>& Folders() const { return folders_; }
  [[nodiscard]] const std::vector<std::wstring>& Files() const { return files_; }

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
  std::vector<std::wstring> folders_;
  std::vector<std::wstring> files_;
  std::unordered_set<std::wstring> folderKeys_;
  std::unordered_set<std::wstring> fileKeys_;
};

// `path` in its plain form with `\` separators, no repeated or trailing ones,
// in upper case: two spellings of one place give the same key.
[[nodiscard]] std::wstring PathKey(const std::wstring& path);
