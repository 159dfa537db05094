// A folder's contents packed into a 7z archive with the library's defaults:
// solid LZMA2 with the executable filters it picks by looking at the files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

#include "support/vm_status.h"

class ProgressLine;

struct FolderItem {
  // Relative to the folder, with `\` separators.
  std::wstring Path;
  std::wstring FullPath;
  DWORD Attributes = 0;
  FILETIME ModificationTime{};
  std::uint64_t Size = 0;
  bool IsDirectory = false;
};

// Every file and folder below `folder`, parents before their children.
// Links are refused: following them could pack a tree twice or forever.
[[nodiscard]] velmora::VMStatus ScanFolder(const std::wstring& folder, std::vector<FolderItem>& items,
                                           std::wstring& error);

// Writes the items of ScanFolder(folder) into a new archive at `archive`,
// reporting to `progress` when given.
[[nodiscard]] velmora::VMStatus CompressFolder(const std::wstring& folder, const std::wstring& archive,
                                               std::wstring& error, ProgressLine* progress = nullptr);
