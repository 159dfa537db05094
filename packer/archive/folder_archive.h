// SPDX-License-Identifier: Apache-2.0
// A folder's contents packed into a 7z archive: solid LZMA2 with the
// executable filters the library picks by looking at the files, at the
// settings of a --level (packer/archive/folder_level.h).
#pragma once

#include <string>

#include "packer/archive/folder_level.h"
#include "support/vm_status.h"

class ProgressLine;

// Writes the items of ScanFolder(folder) into an archive at `archive`
// (created, or emptied), reporting to `progress` when given.
[[nodiscard]] velmora::VMStatus CompressFolder(const std::wstring& folder, FolderLevel level,
                                               const std::wstring& archive, std::wstring& error,
                                               ProgressLine* progress = nullptr);

// The "decoding:" line --explain prints for a folder: the level, the LZMA2
// blocks and dictionary CompressFolder would write for the items of
// ScanFolder(folder), and the decoding threads they allow; nothing is read
// or written. A refusal of the scan is described in one line in `error`.
[[nodiscard]] velmora::VMStatus DescribeFolderDecoding(const std::wstring& folder, FolderLevel level,
                                                       std::wstring& line, std::wstring& error);
