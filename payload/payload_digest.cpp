// SPDX-License-Identifier: Apache-2.0
#include "payload/payload_digest.h"

#include <cstring>

namespace {

std::uint64_t Get64(const std::uint8_t* b) {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | b[i];
  return value;
}

}  // namespace

bool ArchiveLength(const std::uint8_t* startHeader, std::uint64_t& length) {
  static constexpr std::uint8_t kSignature[] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};
  length = 0;
  if (std::memcmp(startHeader, kSignature, sizeof kSignature) != 0) return false;
  // Signature (6), version (2), start header CRC (4), then the end header's
  // offset behind the start header (8) and its size (8).
  const std::uint64_t offset = Get64(startHeader + 12);
  const std::uint64_t size = Get64(startHeader + 20);
  constexpr std::uint64_t kLimit = std::uint64_t{1} << 62;
  if (offset >= kLimit || size >= kLimit) return false;
  length = kArchiveStartHeaderSize + offset + size;
  return true;
}
