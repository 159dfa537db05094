// SPDX-License-Identifier: Apache-2.0
#include "packer/pe/icon_resource.h"

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

using pe_resources::Bytes;
using velmora::VMStatus;
namespace status = velmora::status;

namespace {

constexpr std::size_t kDirectorySize = 6;
constexpr std::size_t kFileEntrySize = 16;   // in the .ico file
constexpr std::size_t kGroupEntrySize = 14;  // in RT_GROUP_ICON
constexpr std::uint16_t kDefaultLanguage = 1033;
constexpr std::uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uint32_t kBitmapInfoHeaderSize = 40;

std::uint32_t Get(const Bytes& b, std::size_t at, int size) {
  std::uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | b[at + i];
  return value;
}

std::uint32_t GetBigEndian32(const Bytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) << 24 | static_cast<std::uint32_t>(b[at + 1]) << 16 |
         static_cast<std::uint32_t>(b[at + 2]) << 8 | b[at + 3];
}

VMStatus Refuse(std::wstring& error, std::wstring why) {
  error = std::move(why);
  return status::InvalidValue;
}

// Whether the image's own header agrees with its directory entry (a width or
// height of 0 there stands for 256) and its data fits in its `size` bytes.
// Windows sizes its buffers by these headers, so one that lies is refused.
bool ImageAgrees(const Bytes& ico, std::size_t entry, std::uint64_t at, std::uint64_t size, bool png) {
  const std::uint32_t width = ico[entry] == 0 ? 256 : ico[entry];
  const std::uint32_t height = ico[entry + 1] == 0 ? 256 : ico[entry + 1];
  if (png) {
    // The signature, then the IHDR chunk: length 13, "IHDR", width, height.
    // A PNG's entry may say 0 for any side of 256 or more.
    constexpr std::uint64_t kHeaderEnd = 8 + 8 + 13;
    constexpr std::uint32_t kSideLimit = 65535;
    auto fits = [](std::uint32_t side, std::uint32_t entry) {
      return entry == 256 ? side >= 256 && side <= kSideLimit : side == entry;
    };
    return size >= kHeaderEnd && GetBigEndian32(ico, at + 8) == 13 && GetBigEndian32(ico, at + 12) == 0x49484452 &&
           fits(GetBigEndian32(ico, at + 16), width) && fits(GetBigEndian32(ico, at + 20), height);
  }
  // A bitmap holds the colour rows and the mask rows, so twice the height.
  const std::uint64_t bits = Get(ico, at + 14, 2);
  const std::uint64_t colours = Get(ico, at + 32, 4);
  if (Get(ico, at + 4, 4) != width || Get(ico, at + 8, 4) != 2 * height || bits == 0 || bits > 32 ||
      colours > 256) {
    return false;
  }
  const std::uint64_t palette = 4 * (colours != 0 ? colours : bits <= 8 ? std::uint64_t{1} << bits : 0);
  const std::uint64_t colourRow = (width * bits + 31) / 32 * 4;
  const std::uint64_t maskRow = (width + 31) / 32 * 4;
  return kBitmapInfoHeaderSize + palette + (colourRow + maskRow) * height <= size;
}

}  // namespace

VMStatus CheckIconFile(const Bytes& ico, std::wstring& error) {
  if (ico.size() < kDirectorySize || Get(ico, 0, 2) != 0 || Get(ico, 2, 2) != 1) {
    return Refuse(error, L"it is not an icon file");
  }
  const std::size_t count = Get(ico, 4, 2);
  if (count == 0) return Refuse(error, L"it has no images");
  const std::size_t imagesAt = kDirectorySize + count * kFileEntrySize;
  if (imagesAt > ico.size()) return Refuse(error, L"its directory is cut short");
  std::vector<std::pair<std::uint64_t, std::uint64_t>> extents;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t entry = kDirectorySize + i * kFileEntrySize;
    const std::uint64_t size = Get(ico, entry + 8, 4);
    const std::uint64_t at = Get(ico, entry + 12, 4);
    const std::wstring which = L"image " + std::to_wstring(i + 1);
    if (size == 0 || at < imagesAt || at + size > ico.size()) {
      return Refuse(error, which + L" lies outside the file");
    }
    const bool png = size >= sizeof(kPngSignature) && std::equal(std::begin(kPngSignature), std::end(kPngSignature),
                                                                 ico.begin() + static_cast<std::ptrdiff_t>(at));
    const bool bitmap = size >= kBitmapInfoHeaderSize && Get(ico, at, 4) == kBitmapInfoHeaderSize;
    if (!png && !bitmap) return Refuse(error, which + L" is neither a PNG nor a bitmap");
    if (!ImageAgrees(ico, entry, at, size, png)) {
      return Refuse(error, which + L" does not match its directory entry in size, or its data is cut short");
    }
    extents.emplace_back(at, at + size);
  }
  // Images sharing bytes would be copied once for each entry.
  std::sort(extents.begin(), extents.end());
  for (std::size_t i = 1; i < extents.size(); ++i) {
    if (extents[i].first < extents[i - 1].second) return Refuse(error, L"two of its images overlap");
  }
  return status::Ok;
}

std::uint32_t LargestIconSide(const Bytes& ico) {
  std::uint32_t largest = 0;
  for (std::size_t i = 0; i < Get(ico, 4, 2); ++i) {
    const std::size_t entry = kDirectorySize + i * kFileEntrySize;
    const std::uint32_t at = Get(ico, entry + 12, 4);
    std::uint32_t width = ico[entry] == 0 ? 256 : ico[entry];
    std::uint32_t height = ico[entry + 1] == 0 ? 256 : ico[entry + 1];
    if (Get(ico, entry + 8, 4) >= sizeof(kPngSignature) &&
        std::equal(std::begin(kPngSignature), std::end(kPngSignature), ico.begin() + at)) {
      width = GetBigEndian32(ico, at + 16);
      height = GetBigEndian32(ico, at + 20);
    }
    largest = std::max({largest, width, height});
  }
  return largest;
}

void SetProgramIcon(pe_resources::PeImage& image, const Bytes& ico) {
  // The first group is the one a file manager shows.
  std::uint16_t groupId = 1;
  std::uint16_t language = kDefaultLanguage;
  for (const auto& [key, data] : image.Entries()) {
    if (!key.Type.Text.empty() || key.Type.Id != pe_resources::kTypeGroupIcon || !key.Name.Text.empty()) continue;
    groupId = key.Name.Id;
    language = key.Language;
    const Bytes& group = data.Data;
    const std::size_t count = group.size() >= kDirectorySize ? Get(group, 4, 2) : 0;
    for (std::size_t i = 0; i < count && kDirectorySize + (i + 1) * kGroupEntrySize <= group.size(); ++i) {
      const std::uint32_t icon = Get(group, kDirectorySize + i * kGroupEntrySize + 12, 2);
      if (icon != 0) image.RemoveAll(pe_resources::kTypeIcon, static_cast<std::uint16_t>(icon));
    }
    break;
  }
  image.RemoveAll(pe_resources::kTypeGroupIcon, groupId);

  std::set<std::uint16_t> taken;
  for (const auto& entry : image.Entries()) {
    const pe_resources::ResourceKey& key = entry.first;
    if (key.Type.Text.empty() && key.Type.Id == pe_resources::kTypeIcon && key.Name.Text.empty()) {
      taken.insert(key.Name.Id);
    }
  }
  const std::size_t count = Get(ico, 4, 2);
  Bytes group(ico.begin(), ico.begin() + kDirectorySize);
  std::uint16_t id = 0;
  for (std::size_t i = 0; i < count; ++i) {
    do ++id;
    while (taken.count(id) != 0);
    const std::size_t entry = kDirectorySize + i * kFileEntrySize;
    const std::uint32_t size = Get(ico, entry + 8, 4);
    const std::uint32_t at = Get(ico, entry + 12, 4);
    image.Set(pe_resources::kTypeIcon, id, language, Bytes(ico.begin() + at, ico.begin() + at + size));
    group.insert(group.end(), ico.begin() + static_cast<std::ptrdiff_t>(entry),
                 ico.begin() + static_cast<std::ptrdiff_t>(entry + 12));
    group.push_back(static_cast<std::uint8_t>(id));
    group.push_back(static_cast<std::uint8_t>(id >> 8));
  }
  image.Set(pe_resources::kTypeGroupIcon, groupId, language, std::move(group));
}
