// SPDX-License-Identifier: Apache-2.0
// How many LZMA2 blocks a payload's streams hold: the stub decodes the blocks
// of one stream side by side, one thread each, so a stream of one block
// decodes on one thread however many processors the machine has.
#pragma once

#include <cstdint>
#include <string>

#include "7zip/Archive/IArchive.h"
#include "7zip/IStream.h"

// The most blocks in any one LZMA2 stream of the 7z archive `archive`, read
// through `file`, the open file it was opened from, where it begins at
// `archiveOffset`; 0 when it holds no LZMA2 stream that stands alone in its
// folder's packed data, or when a stream's chunk headers cannot be followed.
[[nodiscard]] std::uint64_t MostLzma2Blocks(IInArchive* archive, IInStream* file, std::uint64_t archiveOffset);

// The most threads the stub decodes one stream on, however many processors
// the machine has.
inline constexpr std::uint64_t kMostDecodingThreads = 8;

// How the stub decodes a stream of `blocks` LZMA2 blocks: "on one thread" or
// "in parallel, on up to 4 threads"; behind BCJ2 (`bcj2`), a stream of one
// block still shares the work with the filter's own threads.
[[nodiscard]] std::wstring DecodingThreadsText(std::uint64_t blocks, bool bcj2 = false);

// The "decoding:" line that --verify and --explain print for an archive whose
// largest LZMA2 stream holds `blocks` blocks (MostLzma2Blocks) and whose
// methods, as the library names them ("BCJ2 LZMA2:26 LZMA:20"), are
// `methods`.
[[nodiscard]] std::wstring DecodingLine(std::uint64_t blocks, const std::wstring& methods);
