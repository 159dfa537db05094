// SPDX-License-Identifier: Apache-2.0
#include "payload/payload_start.h"

#include <algorithm>
#include <cstdint>

#include "7zip/Common/StreamUtils.h"

namespace {

constexpr UInt32 kSectionLimit = 96;
constexpr UInt32 kSectionHeaderSize = 40;

std::uint32_t Get32(const std::uint8_t* b) {
  return b[0] | static_cast<std::uint32_t>(b[1]) << 8 | static_cast<std::uint32_t>(b[2]) << 16 |
         static_cast<std::uint32_t>(b[3]) << 24;
}

bool ReadAt(IInStream& file, UInt64 at, void* data, size_t size) {
  return file.Seek(static_cast<Int64>(at), STREAM_SEEK_SET, nullptr) == S_OK &&
         ReadStream_FALSE(&file, data, size) == S_OK;
}

}  // namespace

bool FindImageEnd(IInStream& file, UInt64& end) {
  std::uint8_t dos[64];
  if (!ReadAt(file, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
  // The signature, the file header and SizeOfHeaders of the optional header.
  const UInt64 nt = Get32(dos + 0x3C);
  std::uint8_t headers[4 + 20 + 64];
  if (!ReadAt(file, nt, headers, sizeof headers) || Get32(headers) != 0x00004550) return false;
  const UInt32 count = headers[6] | headers[7] << 8;
  const UInt64 sections = nt + 4 + 20 + (headers[20] | headers[21] << 8);
  if (count > kSectionLimit) return false;
  end = Get32(headers + 4 + 20 + 60);
  for (UInt32 i = 0; i < count; ++i) {
    std::uint8_t section[kSectionHeaderSize];
    if (!ReadAt(file, sections + i * kSectionHeaderSize, section, sizeof section)) return false;
    const UInt64 rawSize = Get32(section + 16);
    if (rawSize != 0) end = std::max(end, Get32(section + 20) + rawSize);
  }
  return true;
}
