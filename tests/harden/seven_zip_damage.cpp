// SPDX-License-Identifier: Apache-2.0
#include "tests/harden/seven_zip_damage.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <random>

namespace harden {
namespace {

// The start header: signature (6), version (2), its own CRC over the next
// 20 bytes, then the end header's offset behind it, size and CRC.
constexpr std::size_t kStartHeader = 32, kStartCrc = 8, kNextOffset = 12, kNextSize = 20, kNextCrc = 28;

std::uint64_t Read64(const std::string& a, std::size_t at) {
  std::uint64_t value = 0;
  std::memcpy(&value, a.data() + at, sizeof(value));
  return value;
}
void Write32(std::string& a, std::size_t at, std::uint32_t value) { std::memcpy(a.data() + at, &value, sizeof(value)); }
void Write64(std::string& a, std::size_t at, std::uint64_t value) { std::memcpy(a.data() + at, &value, sizeof(value)); }

// Where the end header lies, clamped to the file.
struct EndHeader {
  std::size_t Begin = 0, End = 0;
};
EndHeader FindEndHeader(const std::string& a) {
  if (a.size() < kStartHeader) return {};
  const std::uint64_t offset = Read64(a, kNextOffset), size = Read64(a, kNextSize);
  const std::uint64_t begin = std::min<std::uint64_t>(kStartHeader + std::min<std::uint64_t>(offset, a.size()), a.size());
  return {static_cast<std::size_t>(begin), static_cast<std::size_t>(begin + std::min<std::uint64_t>(size, a.size() - begin))};
}

// Both checksums made to fit the archive as it now stands.
void FixChecksums(std::string& a) {
  const EndHeader end = FindEndHeader(a);
  Write32(a, kNextCrc, Crc32(std::string_view(a).substr(end.Begin, end.End - end.Begin)));
  Write32(a, kStartCrc, Crc32(std::string_view(a).substr(kNextOffset, kStartHeader - kNextOffset)));
}

}  // namespace

std::uint32_t Crc32(std::string_view data) {
  static const auto kTable = [] {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[i] = c;
    }
    return table;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const char c : data) crc = kTable[(crc ^ static_cast<unsigned char>(c)) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

std::string Mutate(const std::string& archive, long caseNumber, std::string& kind) {
  std::mt19937 random(static_cast<std::uint32_t>(caseNumber) * 2654435761u + 0x5EED);
  auto below = [&](std::size_t n) { return n == 0 ? 0 : random() % n; };
  std::string a = archive;
  const EndHeader end = FindEndHeader(a);
  auto scatter = [&](std::size_t begin, std::size_t stop) {
    const std::size_t changes = std::max<std::size_t>(1, (stop - begin) / 100);
    for (std::size_t i = 0; i < changes; ++i) a[begin + below(stop - begin)] = static_cast<char>(random());
  };
  switch (below(6)) {
    case 0:
      kind = "bytes at 1 %";
      scatter(0, a.size());
      break;
    case 1:
      kind = "packed bytes at 1 %";
      scatter(kStartHeader, std::max(end.Begin, kStartHeader + 1));
      break;
    case 2:
      kind = "start header bit";
      a[below(kStartHeader)] ^= static_cast<char>(1 << below(8));
      break;
    case 3:
      kind = "end header bit";
      a[end.Begin + below(end.End - end.Begin)] ^= static_cast<char>(1 << below(8));
      break;
    case 4: {
      kind = "end header edit, checksums fixed";
      for (std::size_t edits = 1 + below(4); edits > 0 && end.End > end.Begin; --edits) {
        char& byte = a[end.Begin + below(end.End - end.Begin)];
        const char choices[] = {static_cast<char>(random()), 0, '\xFF', '\x80', static_cast<char>(byte + 1),
                                static_cast<char>(byte - 1)};
        byte = choices[below(std::size(choices))];
      }
      FixChecksums(a);
      break;
    }
    default: {
      kind = "start header edit, checksums fixed";
      const std::size_t field = below(2) ? kNextOffset : kNextSize;
      const std::uint64_t value = Read64(a, field);
      const std::uint64_t choices[] = {value + 1 + below(16), value - 1 - below(16), 0, ~std::uint64_t{0},
                                       value * 2, (std::uint64_t{random()} << 32) | random()};
      Write64(a, field, choices[below(std::size(choices))]);
      FixChecksums(a);
      break;
    }
  }
  return a;
}

std::string Truncate(const std::string& archive, long caseNumber, std::string& kind) {
  std::mt19937 random(static_cast<std::uint32_t>(caseNumber) * 2246822519u + 0xC07);
  const EndHeader end = FindEndHeader(archive);
  std::size_t length = 0;
  switch (random() % 4) {
    case 0:
      length = random() % kStartHeader;
      break;
    case 1:
      length = end.Begin + random() % std::max<std::size_t>(1, end.End - end.Begin);
      break;
    default:
      length = random() % archive.size();
  }
  kind = length < kStartHeader ? "cut in start header" : length < end.Begin ? "cut in packed streams" : "cut in end header";
  return archive.substr(0, length);
}

}  // namespace harden
