// SPDX-License-Identifier: Apache-2.0
#include "packer/archive/folder_level.h"

#include <algorithm>

#include "packer/archive/lzma2_blocks.h"

using velmora::VMStatus;
namespace status = velmora::status;

namespace {

constexpr std::uint64_t kKiB = std::uint64_t{1} << 10;
constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;

// What the stub needs besides the dictionaries: its image, the runtime, the
// coders' buffers and BCJ2's two small side streams.
constexpr std::uint64_t kDecodingOverhead = 16 * kMiB;

// The largest dictionary any level uses: the packer's match finder needs
// about 11 times as much, which keeps it below 1 GiB.
constexpr std::uint64_t kLargestDictionary = 64 * kMiB;
// Up to this much data, --level normal writes one block.
constexpr std::uint64_t kOneBlockMost = 64 * kMiB;

constexpr struct {
  FolderLevel Level;
  const wchar_t* Name;
} kLevelNames[] = {{FolderLevel::Fast, L"fast"}, {FolderLevel::Normal, L"normal"}, {FolderLevel::Max, L"max"}};

std::uint64_t RoundUpToMiB(std::uint64_t bytes) { return (bytes + kMiB - 1) / kMiB * kMiB; }

// The smallest dictionary an LZMA2 header can state (2 or 3 times a power of
// two) that holds `bytes`: a larger one would only cost the stub memory.
std::uint64_t DictionaryFor(std::uint64_t bytes, std::uint64_t most) {
  std::uint64_t size = 4 * kKiB;
  while (size < bytes && size < most) {
    const std::uint64_t threeHalves = size / 2 * 3;
    size = threeHalves >= bytes ? threeHalves : size * 2;
  }
  return std::min(size, most);
}

}  // namespace

VMStatus ParseFolderLevel(const std::wstring& text, FolderLevel& level, std::wstring& error) {
  for (const auto& known : kLevelNames) {
    if (text == known.Name) {
      level = known.Level;
      return status::Ok;
    }
  }
  error = L"vm-sfxpack: error: --level is fast, normal or max, not \"" + text + L"\" (see --help).";
  return status::InvalidValue;
}

const wchar_t* FolderLevelName(FolderLevel level) {
  for (const auto& known : kLevelNames) {
    if (known.Level == level) return known.Name;
  }
  return L"normal";
}

FolderSettings ChooseFolderSettings(FolderLevel level, std::uint64_t totalBytes) {
  FolderSettings settings;
  settings.Level = level;
  const std::uint64_t total = std::max<std::uint64_t>(totalBytes, 1);
  switch (level) {
    case FolderLevel::Fast:
      // The writer's level 3: hash chains, 32 fast bytes, a 4 MiB
      // dictionary: 21 % smaller than level 1 on real programs at 1.4 times
      // its packing time, still several times faster than normal
      // (docs/packer.md). Blocks of an eighth of the data, 4 to 64 MiB, let
      // up to 8 threads decode.
      settings.WriterLevel = 3;
      settings.BlockSize = std::clamp(RoundUpToMiB(total / kMostDecodingThreads), 4 * kMiB, 64 * kMiB);
      settings.Dictionary = DictionaryFor(std::min(total, settings.BlockSize), 4 * kMiB);
      break;
    case FolderLevel::Normal:
      // The writer's level 9: the binary-tree match finder, 64 fast bytes,
      // BCJ2 for x86 programs (0.7 % smaller than BCJ on real programs), and
      // the dictionary up to the data size. Up to 64 MiB of files stay one
      // block: two blocks of a 46 MB folder of programs cost 3.4 %
      // (docs/packer.md), since each starts with an empty dictionary. Above
      // that, blocks of at least 64 MiB, the largest dictionary, let 2 or
      // more threads decode.
      settings.WriterLevel = 9;
      settings.Bcj2 = true;
      settings.BlockSize = total <= kOneBlockMost ? RoundUpToMiB(total)
                                                  : std::max(RoundUpToMiB(total / kMostDecodingThreads), kOneBlockMost);
      settings.Dictionary = DictionaryFor(std::min(total, settings.BlockSize), kLargestDictionary);
      break;
    case FolderLevel::Max:
      // As normal, but one block however large the folder, so that every
      // file can refer to every earlier one, and 273 fast bytes, the most,
      // which find longer matches at up to 1.6 times the packing time.
      settings.WriterLevel = 9;
      settings.Bcj2 = true;
      settings.FastBytes = 273;
      settings.Dictionary = DictionaryFor(total, kLargestDictionary);
      settings.BlockSize = RoundUpToMiB(total);
      break;
  }
  settings.Blocks = (total + settings.BlockSize - 1) / settings.BlockSize;
  return settings;
}

std::vector<std::pair<std::wstring, std::wstring>> WriterProperties(const FolderSettings& settings) {
  // The method with its dictionary and block size in one value: the block
  // size alone, as a property of its own, is refused. Both are stated
  // rather than left to the writer, whose own choice of blocks depends on
  // the processors of the machine that packs: both packers, on any machine,
  // write the same bytes. The solid size keeps the whole folder in one
  // stream, where the writer would start a new one after 64 blocks.
  return {{L"x", std::to_wstring(settings.WriterLevel)},
          {L"s", std::to_wstring(std::max<std::uint64_t>(settings.Blocks * settings.BlockSize / kMiB, 1)) + L"m"},
          {L"0", L"LZMA2:d=" + std::to_wstring(settings.Dictionary / kKiB) + L"k:c=" +
                     std::to_wstring(settings.BlockSize / kMiB) + L"m" +
                     (settings.FastBytes != 0 ? L":fb=" + std::to_wstring(settings.FastBytes) : L"")}};
}

std::uint64_t DecodingMemoryBound(const FolderSettings& settings) {
  return settings.Dictionary * std::min(settings.Blocks, kMostDecodingThreads) + kDecodingOverhead;
}

std::wstring FolderDecodingLine(const FolderSettings& settings, std::uint64_t totalBytes) {
  const std::uint64_t dictionary = settings.Dictionary;
  const std::wstring dictionaryText = dictionary >= kMiB ? std::to_wstring(dictionary / kMiB) + L" MiB"
                                                         : std::to_wstring(dictionary / kKiB) + L" KiB";
  const std::wstring blocks =
      settings.Blocks > 1 ? L"in LZMA2 blocks of " + std::to_wstring(settings.BlockSize / kMiB) + L" MiB"
                          : L"in one LZMA2 block";
  return L"decoding: " + DecodingThreadsText(settings.Blocks, settings.Bcj2) + L" (vm-sfxpack --folder --level " +
         FolderLevelName(settings.Level) + L" writes the folder's " + std::to_wstring(totalBytes) +
         L" bytes of files " + blocks + L" with a " + dictionaryText + L" dictionary" +
         (settings.Bcj2 ? L", x86 programs through BCJ2" : L"") + L"; the stub needs at most " +
         std::to_wstring(DecodingMemoryBound(settings) / kMiB) + L" MiB to decode them).";
}
