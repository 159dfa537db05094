// SPDX-License-Identifier: Apache-2.0
// The files and folders below a folder, as the packer hands them to the
// archive library: one implementation per system (folder_scan_windows.cpp for
// Windows, folder_scan_posix.cpp elsewhere).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include "Common/MyWindows.h"
#endif

#include "support/vm_status.h"

struct FolderItem {
  // Relative to the folder, with the system's separators.
  std::wstring Path;
  std::wstring FullPath;
  DWORD Attributes = 0;
  FILETIME ModificationTime{};
  std::uint64_t Size = 0;
  bool IsDirectory = false;
  // Which file the scan saw: device and inode, on Windows the volume serial
  // and file ID. Reading opens only that file (InputFile::OpenScanned).
  std::uint64_t Device = 0;
  std::uint64_t Inode = 0;
};

// Every file and folder below `folder`, parents before their children.
// Links are refused: following them could pack a tree twice or forever.
// A refusal is one line in `error`.
[[nodiscard]] velmora::VMStatus ScanFolder(const std::wstring& folder, std::vector<FolderItem>& items,
                                           std::wstring& error);

