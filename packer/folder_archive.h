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
