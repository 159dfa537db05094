// SPDX-License-Identifier: Apache-2.0
// A folder's contents packed into a 7z archive with the library's defaults,
// solid LZMA2 with the executable filters it picks by looking at the files,
// in LZMA2 blocks that the stub decodes on up to 8 threads.
#pragma once

#include <string>

#include "support/vm_status.h"

class ProgressLine;

// Writes the items of ScanFolder(folder) into an archive at `archive`
// (created, or emptied), reporting to `progress` when given.
[[nodiscard]] velmora::VMStatus CompressFolder(const std::wstring& folder, const std::wstring& archive,
                                               std::wstring& error, ProgressLine* progress = nullptr);

// The "decoding:" line --explain prints for a folder: the LZMA2 blocks
// CompressFolder would write for the items of ScanFolder(folder), and the
// decoding threads they allow; nothing is read or written. A refusal of the
// scan is described in one line in `error`.
[[nodiscard]] velmora::VMStatus DescribeFolderDecoding(const std::wstring& folder, std::wstring& line,
                                                       std::wstring& error);
