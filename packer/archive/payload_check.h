// SPDX-License-Identifier: Apache-2.0
// The packer's view of a payload through the same archive library and codecs
// as the stub: a payload passes only when the stub could unpack it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/vm_status.h"

class InputFile;
class ProgressLine;

// Opens the payload archive at `path` into `file`; a failure is described in
// one line in `error`.
[[nodiscard]] velmora::VMStatus OpenPayload(InputFile& file, const std::wstring& path, std::wstring& error);

// Opens the 7z archive in `file`, named `path` (the signature at its first
// byte), refuses encrypted items, items the stub would refuse for their path,
// and methods the stub does not have, then decodes everything once to prove
// the data intact. `itemCount` is the number of items; `itemPaths`, when
// given, receives their paths. A refusal is described in one line in
// `error`; an archive shorter than its start header declares is said to be
// cut short.
[[nodiscard]] velmora::VMStatus CheckPayload(InputFile& file, const std::wstring& path, std::uint64_t& itemCount,
                                             std::wstring& error, std::vector<std::wstring>* itemPaths = nullptr);

// The "decoding:" line --verify prints, for the 7z archive at `path` as it
// would be packed (the signature at its first byte): whether the stub can
// decode it on several threads. Nothing is decoded. A failure is described
// in one line in `error`.
[[nodiscard]] velmora::VMStatus DescribePayloadDecoding(const std::wstring& path, std::wstring& line,
                                                        std::wstring& error);

// What an installer's payload is, as the stub finds it.
struct InstalledPayload {
  // Where the archive library found the archive, and its size.
  std::uint64_t Offset = 0;
  std::uint64_t Size = 0;
  std::uint64_t ItemCount = 0;
  // The coding methods, as the library names them ("LZMA2:24 BCJ").
  std::wstring Methods;
  // The most LZMA2 blocks in one stream (see MostLzma2Blocks).
  std::uint64_t MostLzma2Blocks = 0;
};

// Finds the payload in the open `file`, named `installer`, the way the stub
// finds it and applies every check of CheckPayload to it.
// `progress`, when given, follows the test decode.
[[nodiscard]] velmora::VMStatus CheckInstalledPayload(InputFile& file, const std::wstring& installer,
                                                      InstalledPayload& payload, std::wstring& error,
                                                      ProgressLine* progress = nullptr);

// When the 7z start header at `offset` of `file` declares an archive longer
// than the file holds, `error` becomes "`what` is cut short: N bytes
// missing" with the sizes; otherwise it stays as it is.
void NameMissingBytes(InputFile& file, std::uint64_t offset, const std::wstring& what, std::wstring& error);

// Opens a finished installer the way the stub opens itself (the signature
// searched for from the first byte on, within the first 8 MiB) and checks
// that it finds `itemCount` items in an archive that begins exactly at
// `imageEnd`.
[[nodiscard]] velmora::VMStatus CheckInstallerFindsPayload(const std::wstring& installer, std::uint64_t imageEnd,
                                                           std::uint64_t itemCount, std::wstring& error);
