// SPDX-License-Identifier: Apache-2.0
// How hard --folder compresses (--level): what a vendor trades between the
// download every user pays for, the time packing takes and the time the
// stub takes to unpack. The settings each level gives a folder of a given
// size are chosen here, in one place, so that packing, --explain and the
// documentation say the same.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/vm_status.h"

enum class FolderLevel {
  // Quick packing for test builds: a small dictionary and the fast match
  // finder, blocks that decode side by side.
  Fast,
  // The default: the strongest LZMA2 settings, x86 programs through BCJ2,
  // whose streams the stub decodes on threads of their own; blocks only
  // where a folder is large enough that splitting it costs little.
  Normal,
  // The smallest installer the stub can unpack: as normal, but one block
  // however large the folder, and the longest matches.
  Max,
};

// "fast", "normal" or "max"; anything else is refused with a line in `error`.
[[nodiscard]] velmora::VMStatus ParseFolderLevel(const std::wstring& text, FolderLevel& level, std::wstring& error);

[[nodiscard]] const wchar_t* FolderLevelName(FolderLevel level);

// What CompressFolder writes for a level and a folder's total size.
struct FolderSettings {
  FolderLevel Level = FolderLevel::Normal;
  // The 7z writer's compression level (1 to 9), which picks the match
  // finder, the fast bytes and the executable filters (BCJ2 from 8 on).
  unsigned WriterLevel = 9;
  // The LZMA2 dictionary, never more than the data needs (at least 4 KiB,
  // as the library makes it).
  std::uint64_t Dictionary = 0;
  // Bytes of files per LZMA2 block; each block decodes on a thread of its
  // own. At least the total size when the stream is one block.
  std::uint64_t BlockSize = 0;
  std::uint64_t Blocks = 1;
  // x86 programs go through BCJ2 rather than BCJ.
  bool Bcj2 = false;
  // LZMA's fast bytes (the longest match it looks for); 0: the writer
  // level's own.
  unsigned FastBytes = 0;
};

[[nodiscard]] FolderSettings ChooseFolderSettings(FolderLevel level, std::uint64_t totalBytes);

// The settings as the 7z writer's property names and values.
[[nodiscard]] std::vector<std::pair<std::wstring, std::wstring>> WriterProperties(const FolderSettings& settings);

// The memory the stub needs to decode a payload so written, at most: each
// decoding thread holds its block's dictionary, plus what the stub needs
// besides (16 MiB).
[[nodiscard]] std::uint64_t DecodingMemoryBound(const FolderSettings& settings);

// The "decoding:" line --explain prints for a folder of `totalBytes` packed
// at `settings.Level`.
[[nodiscard]] std::wstring FolderDecodingLine(const FolderSettings& settings, std::uint64_t totalBytes);
