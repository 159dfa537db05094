#include "packer/icon_resource.h"

#include <algorithm>
#include <set>

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

VMStatus Refuse(std::wstring& error, std::wstring why) {
  error = std::move(why);
  return status::InvalidValue;
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
  }
  return status::Ok;
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
