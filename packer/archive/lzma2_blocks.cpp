// SPDX-License-Identifier: Apache-2.0
#include "packer/archive/lzma2_blocks.h"

#include <algorithm>
#include <map>
#include <string>

#include "Common/MyCom.h"
#include "Windows/PropVariant.h"

namespace {

// The packed streams follow the archive's 32-byte start header, folder after
// folder.
constexpr std::uint64_t kStartHeaderSize = 32;

struct Folder {
  std::uint64_t PackSize = 0;
  bool Lzma2Alone = false;
};

bool ReadAt(IInStream* file, std::uint64_t at, Byte* bytes, UInt32 size) {
  if (file->Seek(static_cast<Int64>(at), STREAM_SEEK_SET, nullptr) != S_OK) return false;
  UInt32 done = 0;
  return file->Read(bytes, size, &done) == S_OK && done == size;
}

// Follows the chunk headers of one LZMA2 stream of `size` packed bytes at
// `at` and counts its dictionary resets, each of which begins a block; 0 when
// the headers do not add up.
std::uint64_t CountBlocks(IInStream* file, std::uint64_t at, std::uint64_t size) {
  const std::uint64_t end = at + size;
  std::uint64_t blocks = 0;
  Byte header[6] = {};
  while (at < end) {
    if (!ReadAt(file, at, header, 1)) return 0;
    const Byte control = header[0];
    if (control == 0) return blocks;
    std::uint64_t length = 0;
    if (control == 1 || control == 2) {
      // Stored bytes; 1 resets the dictionary.
      if (!ReadAt(file, at + 1, header + 1, 2)) return 0;
      blocks += control == 1 ? 1 : 0;
      length = 3 + (static_cast<std::uint64_t>(header[1]) << 8 | header[2]) + 1;
    } else if (control >= 0x80) {
      // LZMA data: bits 5 and 6 say what is reset, 3 the dictionary too; from
      // 2 on a properties byte follows the sizes.
      if (!ReadAt(file, at + 1, header + 1, 4)) return 0;
      const unsigned reset = (control >> 5) & 3;
      blocks += reset == 3 ? 1 : 0;
      length = 5 + (reset >= 2 ? 1 : 0) + (static_cast<std::uint64_t>(header[3]) << 8 | header[4]) + 1;
    } else {
      return 0;
    }
    // A stream must begin with a block.
    if (blocks == 0) return 0;
    at += length;
  }
  return at == end ? blocks : 0;
}

}  // namespace

std::uint64_t MostLzma2Blocks(IInArchive* archive, IInStream* file, std::uint64_t archiveOffset) {
  UInt32 count = 0;
  if (archive->GetNumberOfItems(&count) != S_OK) return 0;
  // The first item of each folder reports the folder's packed size.
  std::map<UInt32, Folder> folders;
  for (UInt32 i = 0; i < count; ++i) {
    NWindows::NCOM::CPropVariant block;
    NWindows::NCOM::CPropVariant packSize;
    NWindows::NCOM::CPropVariant method;
    if (archive->GetProperty(i, kpidBlock, &block) != S_OK || block.vt != VT_UI4) continue;
    if (archive->GetProperty(i, kpidPackSize, &packSize) != S_OK || packSize.vt != VT_UI8) continue;
    archive->GetProperty(i, kpidMethod, &method);
    const std::wstring methods = method.vt == VT_BSTR ? method.bstrVal : L"";
    // Filters such as BCJ work on what LZMA2 decodes and keep one packed
    // stream; BCJ2 has four.
    folders[block.ulVal] = {packSize.uhVal.QuadPart,
                            methods.find(L"LZMA2") != std::wstring::npos && methods.find(L"BCJ2") == std::wstring::npos};
  }
  std::uint64_t most = 0;
  std::uint64_t at = archiveOffset + kStartHeaderSize;
  std::uint32_t expected = 0;
  for (const auto& [index, folder] : folders) {
    // A folder whose first item was left out leaves its place unknown.
    if (index != expected++) return most;
    if (folder.Lzma2Alone) most = std::max(most, CountBlocks(file, at, folder.PackSize));
    at += folder.PackSize;
  }
  return most;
}

std::wstring DecodingThreadsText(std::uint64_t blocks, bool bcj2) {
  if (blocks > 1) {
    return L"in parallel, on up to " + std::to_wstring(std::min(blocks, kMostDecodingThreads)) + L" threads";
  }
  return bcj2 ? L"on one thread for the data, BCJ2 and its side streams on threads beside it" : L"on one thread";
}

std::wstring DecodingLine(std::uint64_t blocks, const std::wstring& methods) {
  const bool bcj2 = methods.find(L"BCJ2") != std::wstring::npos;
  if (blocks > 1) {
    return L"decoding: " + DecodingThreadsText(blocks) + L" (" + std::to_wstring(blocks) +
           L" LZMA2 blocks in its largest stream).";
  }
  return L"decoding: " + DecodingThreadsText(blocks, bcj2) +
         (bcj2 ? L" (as vm-sfxpack --folder writes x86 programs at --level normal and max)."
               : L" (no LZMA2 stream of several blocks; vm-sfxpack --folder writes them at --level fast for more "
                 L"than 4 MiB of files, at normal for more than 64 MiB).");
}
