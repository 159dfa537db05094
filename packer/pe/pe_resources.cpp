// SPDX-License-Identifier: Apache-2.0
#include "packer/pe/pe_resources.h"

#include <algorithm>
#include <string>
#include <tuple>

using velmora::VMStatus;
namespace status = velmora::status;

namespace pe_resources {

bool operator<(const ResourceName& a, const ResourceName& b) {
  const bool aText = !a.Text.empty();
  const bool bText = !b.Text.empty();
  if (aText != bText) return aText;
  return aText ? a.Text < b.Text : a.Id < b.Id;
}

bool operator<(const ResourceKey& a, const ResourceKey& b) {
  if (!(a.Type == b.Type)) return a.Type < b.Type;
  if (!(a.Name == b.Name)) return a.Name < b.Name;
  return a.Language < b.Language;
}

namespace {

// Offsets into the image's headers.
constexpr std::size_t kDosNewHeader = 0x3C;
constexpr std::size_t kFileHeaderSize = 20;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::uint16_t kMachineI386 = 0x14C;
constexpr std::uint16_t kOptionalMagic32 = 0x10B;
// The loader maps no image with more sections than this.
constexpr std::size_t kSectionLimit = 96;
namespace optional_at {
constexpr std::size_t SizeOfInitializedData = 8;
constexpr std::size_t AddressOfEntryPoint = 16;
constexpr std::size_t SectionAlignment = 32;
constexpr std::size_t FileAlignment = 36;
constexpr std::size_t SizeOfImage = 56;
constexpr std::size_t SizeOfHeaders = 60;
constexpr std::size_t CheckSum = 64;
constexpr std::size_t NumberOfRvaAndSizes = 92;
constexpr std::size_t DataDirectory = 96;
}  // namespace optional_at
namespace directory {
constexpr std::uint32_t Imports = 1;
constexpr std::uint32_t Resources = 2;
constexpr std::uint32_t Security = 4;
constexpr std::uint32_t Relocations = 5;
}  // namespace directory
namespace section_at {
constexpr std::size_t VirtualSize = 8;
constexpr std::size_t VirtualAddress = 12;
constexpr std::size_t SizeOfRawData = 16;
constexpr std::size_t PointerToRawData = 20;
}  // namespace section_at

constexpr std::uint32_t kSubdirectory = 0x80000000u;
constexpr std::size_t kDirectorySize = 16;
constexpr std::size_t kDirectoryEntrySize = 8;
constexpr std::size_t kDataEntrySize = 16;
// Far more than any program carries; a tree beyond it is not one to keep.
// It bounds the directory entries walked as well as the data entries kept.
constexpr std::size_t kEntryLimit = 65536;
// The stub would take an archive start header inside a resource for its
// payload, so no resource may hold one.
constexpr std::uint8_t kSevenZipSignature[] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};

std::uint16_t Get16(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8); }
std::uint32_t Get32(const Bytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(Get16(b, at)) | static_cast<std::uint32_t>(Get16(b, at + 2)) << 16;
}
void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}
// Every size sum is taken in 64 bits, so nothing wraps before it is checked.
std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

struct Section {
  std::size_t HeaderAt;
  std::uint32_t VirtualSize, VirtualAddress, RawSize, RawAt;
  std::uint32_t Extent() const { return std::max(VirtualSize, RawSize); }
  // What the loader maps: the virtual size, or the data when that is 0.
  std::uint32_t Mapped() const { return VirtualSize != 0 ? VirtualSize : RawSize; }
};

// Where everything is in a file that passed the checks.
struct Layout {
  std::size_t Optional = 0;
  std::uint32_t SectionAlignment = 0, FileAlignment = 0, DirectoryCount = 0;
  std::vector<Section> Sections;
  std::size_t Resources = 0;  // index into Sections
  // The resource tree: its file offset and how many bytes it may use.
  std::uint64_t TreeAt = 0, TreeSize = 0;
  bool RelocationsFollow = false;
  std::uint64_t ImageEnd = 0;

  std::uint32_t DirectoryAddress(std::uint32_t index) const { return Directory(index, 0); }
  std::uint32_t DirectorySize(std::uint32_t index) const { return Directory(index, 4); }
  std::size_t DirectoryAt(std::uint32_t index) const { return Optional + optional_at::DataDirectory + index * 8; }

  const Bytes* File = nullptr;

 private:
  std::uint32_t Directory(std::uint32_t index, std::size_t field) const {
    return index < DirectoryCount ? Get32(*File, DirectoryAt(index) + field) : 0;
  }
};

VMStatus Refuse(std::wstring& error, std::wstring why) {
  error = std::move(why);
  return status::InvalidValue;
}

// The headers and the section table, with where the image ends.
VMStatus ReadHeaders(const Bytes& file, Layout& layout, std::wstring& error) {
  layout = Layout{};
  layout.File = &file;
  if (file.size() < 0x40 || file[0] != 'M' || file[1] != 'Z') return Refuse(error, L"it is not a Windows program");
  const std::size_t nt = Get32(file, kDosNewHeader);
  if (nt > file.size() || file.size() - nt < 4 + kFileHeaderSize + optional_at::DataDirectory ||
      Get32(file, nt) != 0x00004550) {
    return Refuse(error, L"it is not a Windows program");
  }
  const std::size_t header = nt + 4;
  layout.Optional = header + kFileHeaderSize;
  if (Get16(file, header) != kMachineI386 || Get16(file, layout.Optional) != kOptionalMagic32) {
    return Refuse(error, L"it is not a 32-bit x86 Windows program");
  }
  const std::size_t count = Get16(file, header + 2);
  const std::size_t optionalSize = Get16(file, header + 16);
  layout.DirectoryCount = std::min<std::uint32_t>(Get32(file, layout.Optional + optional_at::NumberOfRvaAndSizes), 16);
  layout.SectionAlignment = Get32(file, layout.Optional + optional_at::SectionAlignment);
  layout.FileAlignment = Get32(file, layout.Optional + optional_at::FileAlignment);
  const std::size_t sections = layout.Optional + optionalSize;
  // The headers must hold the section table and lie in the file: a size
  // taken from them is never trusted beyond the bytes there are.
  const std::uint64_t headersSize = Get32(file, layout.Optional + optional_at::SizeOfHeaders);
  if (optionalSize < optional_at::DataDirectory + layout.DirectoryCount * 8 || count > kSectionLimit ||
      sections + count * kSectionHeaderSize > file.size() || layout.FileAlignment == 0 ||
      layout.SectionAlignment < layout.FileAlignment || (layout.FileAlignment & (layout.FileAlignment - 1)) != 0 ||
      (layout.SectionAlignment & (layout.SectionAlignment - 1)) != 0 ||
      headersSize < sections + count * kSectionHeaderSize || headersSize > file.size()) {
    return Refuse(error, L"its headers are damaged");
  }
  // The loader places the sections one after another from the end of the
  // headers on, each at the next section boundary, and maps no image whose
  // size field says less than that.
  std::uint64_t imageEnd = headersSize;
  std::uint64_t nextAddress = AlignUp(headersSize, layout.SectionAlignment);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = sections + i * kSectionHeaderSize;
    Section s{at, Get32(file, at + section_at::VirtualSize), Get32(file, at + section_at::VirtualAddress),
              Get32(file, at + section_at::SizeOfRawData), Get32(file, at + section_at::PointerToRawData)};
    if (s.RawSize != 0 && (std::uint64_t{s.RawAt} + s.RawSize > file.size() || s.RawAt < headersSize)) {
      return Refuse(error, L"a section lies beyond the end of the file or inside the headers");
    }
    if (s.VirtualAddress != nextAddress) return Refuse(error, L"its sections overlap, leave gaps or are out of order");
    nextAddress = AlignUp(std::uint64_t{s.VirtualAddress} + s.Mapped(), layout.SectionAlignment);
    if (s.RawSize != 0) imageEnd = std::max<std::uint64_t>(imageEnd, std::uint64_t{s.RawAt} + s.RawSize);
    layout.Sections.push_back(s);
  }
  const std::uint64_t imageSize = Get32(file, layout.Optional + optional_at::SizeOfImage);
  if (AlignUp(imageSize, layout.SectionAlignment) != nextAddress) {
    return Refuse(error, L"its image size does not match its sections");
  }
  if (Get32(file, layout.Optional + optional_at::AddressOfEntryPoint) >= imageSize) {
    return Refuse(error, L"its entry point lies outside the image");
  }
  // The certificate table is a file offset, checked by whoever reads it.
  for (std::uint32_t d = 0; d < layout.DirectoryCount; ++d) {
    if (d != directory::Security && layout.DirectorySize(d) != 0 &&
        std::uint64_t{layout.DirectoryAddress(d)} + layout.DirectorySize(d) > imageSize) {
      return Refuse(error, L"a data directory lies outside the image");
    }
  }
  layout.ImageEnd = imageEnd;
  return status::Ok;
}

// Where the resource tree is: inside the data of the section that holds its
// address. False when there is none.
bool FindTree(const Layout& layout, std::size_t& index, std::uint64_t& at, std::uint64_t& size) {
  const std::uint32_t address = layout.DirectoryAddress(directory::Resources);
  if (layout.DirectorySize(directory::Resources) == 0) return false;
  for (std::size_t i = 0; i < layout.Sections.size(); ++i) {
    const Section& s = layout.Sections[i];
    const std::uint64_t inside = std::uint64_t{address} - s.VirtualAddress;
    const std::uint64_t usable = std::min(s.RawSize, s.Mapped());
    if (address < s.VirtualAddress || inside >= usable) continue;
    index = i;
    at = s.RawAt + inside;
    size = usable - inside;
    return true;
  }
  return false;
}

// The headers, and where the resources are and what follows them.
VMStatus ReadLayout(const Bytes& file, Layout& layout, std::wstring& error) {
  VM_RETURN_IF_FAILED(ReadHeaders(file, layout, error));
  if (layout.DirectorySize(directory::Security) != 0) {
    return Refuse(error, L"it is signed; resources must be set before signing");
  }
  if (!FindTree(layout, layout.Resources, layout.TreeAt, layout.TreeSize) ||
      layout.Sections[layout.Resources].VirtualAddress != layout.DirectoryAddress(directory::Resources)) {
    return Refuse(error, L"it has no resource section of its own");
  }
  if (layout.ImageEnd != file.size()) return Refuse(error, L"it carries data behind its image");

  // What follows the resources moves when they grow: only the base
  // relocations may, since nothing else refers to where they are.
  const Section& resources = layout.Sections[layout.Resources];
  const std::size_t after = layout.Sections.size() - layout.Resources - 1;
  if (after > 1) return Refuse(error, L"its resource section is not the last one");
  if (after == 1) {
    const Section& next = layout.Sections.back();
    if (layout.DirectoryAddress(directory::Relocations) != next.VirtualAddress) {
      return Refuse(error, L"its resource section is followed by a section that cannot move");
    }
    for (std::uint32_t d = 0; d < layout.DirectoryCount; ++d) {
      const std::uint32_t address = layout.DirectoryAddress(d);
      if (d != directory::Relocations && layout.DirectorySize(d) != 0 && address >= next.VirtualAddress) {
        return Refuse(error, L"its resource section is followed by a section that cannot move");
      }
    }
    if (next.RawSize != 0 && next.RawAt < resources.RawAt + resources.RawSize) {
      return Refuse(error, L"its sections are out of order in the file");
    }
    layout.RelocationsFollow = true;
  }
  for (std::size_t i = 0; i < layout.Resources; ++i) {
    const Section& s = layout.Sections[i];
    if (s.RawSize != 0 && s.RawAt + s.RawSize > resources.RawAt) {
      return Refuse(error, L"its sections are out of order in the file");
    }
  }
  return status::Ok;
}

// Reads the resource tree from the resource section's bytes. Data that
// several entries share is copied for each, as the writer would write it, so
// the copies together are held to the image limit.
class TreeReader {
 public:
  TreeReader(const Bytes& file, const Layout& layout, std::map<ResourceKey, ResourceData>& entries)
      : file_(file), layout_(layout), entries_(entries), base_(layout.TreeAt), size_(layout.TreeSize) {}

  bool Read() {
    ResourceKey key;
    return Directory(0, 0, key);
  }
  // Whether Read failed for the size of the data rather than damage.
  [[nodiscard]] bool TooLarge() const { return copied_ > kImageLimit; }

 private:
  bool Fits(std::uint64_t offset, std::uint64_t length) const { return offset <= size_ && length <= size_ - offset; }

  bool Name(std::uint32_t field, ResourceName& name) const {
    name = ResourceName{};
    if ((field & kSubdirectory) == 0) {
      if (field > 0xFFFF) return false;
      name.Id = static_cast<std::uint16_t>(field);
      return true;
    }
    const std::uint32_t at = field & ~kSubdirectory;
    if (!Fits(at, 2)) return false;
    const std::uint16_t length = Get16(file_, base_ + at);
    if (length == 0 || !Fits(at + 2, std::uint64_t{length} * 2)) return false;
    for (std::uint16_t i = 0; i < length; ++i) name.Text.push_back(static_cast<char16_t>(Get16(file_, base_ + at + 2 + i * 2)));
    return true;
  }

  bool Directory(std::uint32_t at, int level, ResourceKey& key) {
    if (!Fits(at, kDirectorySize)) return false;
    const std::size_t count = std::size_t{Get16(file_, base_ + at + 12)} + Get16(file_, base_ + at + 14);
    if (!Fits(at + kDirectorySize, count * kDirectoryEntrySize)) return false;
    walked_ += count;
    if (walked_ > kEntryLimit) return false;
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t entry = base_ + at + kDirectorySize + i * kDirectoryEntrySize;
      const std::uint32_t nameField = Get32(file_, entry);
      const std::uint32_t target = Get32(file_, entry + 4);
      const bool subdirectory = (target & kSubdirectory) != 0;
      if (subdirectory != (level < 2)) return false;
      if (level == 0 && !Name(nameField, key.Type)) return false;
      if (level == 1 && !Name(nameField, key.Name)) return false;
      if (level == 2) {
        if (nameField > 0xFFFF) return false;
        key.Language = static_cast<std::uint16_t>(nameField);
        if (!Data(target, key)) return false;
      } else if (!Directory(target & ~kSubdirectory, level + 1, key)) {
        return false;
      }
    }
    return true;
  }

  bool Data(std::uint32_t at, const ResourceKey& key) {
    if (!Fits(at, kDataEntrySize) || entries_.size() >= kEntryLimit || entries_.count(key) != 0) return false;
    const std::uint32_t address = Get32(file_, base_ + at);
    const std::uint32_t length = Get32(file_, base_ + at + 4);
    for (const Section& s : layout_.Sections) {
      if (address < s.VirtualAddress || address - s.VirtualAddress >= s.Extent()) continue;
      const std::uint64_t offset = address - s.VirtualAddress;
      if (offset + length > s.RawSize) return false;
      copied_ += length;
      if (copied_ > kImageLimit) return false;
      ResourceData& data = entries_[key];
      data.Data.assign(file_.begin() + s.RawAt + offset, file_.begin() + s.RawAt + offset + length);
      data.CodePage = Get32(file_, base_ + at + 8);
      return true;
    }
    if (length != 0) return false;
    entries_[key] = ResourceData{};
    return true;
  }

  const Bytes& file_;
  const Layout& layout_;
  std::map<ResourceKey, ResourceData>& entries_;
  std::uint64_t base_ = 0;
  std::uint64_t size_ = 0;
  std::size_t walked_ = 0;
  std::uint64_t copied_ = 0;
};

// The tree into `entries`, or a refusal that says why.
VMStatus ReadTree(const Bytes& file, const Layout& layout, std::map<ResourceKey, ResourceData>& entries,
                  std::wstring& error) {
  TreeReader reader(file, layout, entries);
  if (reader.Read()) return status::Ok;
  entries.clear();
  return Refuse(error, reader.TooLarge() ? L"its resources take more than " + std::to_wstring(kImageLimit) +
                                               L" bytes, more than an installer's image may hold"
                                         : L"its resource tree is damaged");
}

ResourceKey NumericKey(std::uint16_t type, std::uint16_t id, std::uint16_t language) {
  ResourceKey key;
  key.Type.Id = type;
  key.Name.Id = id;
  key.Language = language;
  return key;
}

// The resource section for `entries` at `address`: every directory first,
// then the data entries, the names and the data. Its size is known before
// anything is allocated; one beyond the image limit is refused, and its
// size goes to `tooLarge`.
VMStatus BuildSection(const std::map<ResourceKey, ResourceData>& entries, std::uint32_t address, Bytes& section,
                      std::wstring& error, std::uint64_t& tooLarge) {
  struct NameNode {
    ResourceName Name;
    std::vector<std::pair<std::uint16_t, const ResourceData*>> Languages;
    std::uint32_t At = 0;
  };
  struct TypeNode {
    ResourceName Type;
    std::vector<NameNode> Names;
    std::uint32_t At = 0;
  };
  std::vector<TypeNode> types;
  for (const auto& [key, data] : entries) {
    if (types.empty() || !(types.back().Type == key.Type)) types.push_back({key.Type, {}, 0});
    auto& names = types.back().Names;
    if (names.empty() || !(names.back().Name == key.Name)) names.push_back({key.Name, {}, 0});
    names.back().Languages.emplace_back(key.Language, &data);
  }

  // Every offset stays below the limit once the total is checked, so the
  // narrowing below cannot wrap.
  std::uint64_t offset = kDirectorySize + types.size() * kDirectoryEntrySize;
  for (TypeNode& type : types) {
    type.At = static_cast<std::uint32_t>(std::min(offset, kImageLimit));
    offset += kDirectorySize + type.Names.size() * kDirectoryEntrySize;
  }
  for (TypeNode& type : types) {
    for (NameNode& name : type.Names) {
      name.At = static_cast<std::uint32_t>(std::min(offset, kImageLimit));
      offset += kDirectorySize + name.Languages.size() * kDirectoryEntrySize;
    }
  }
  const std::uint64_t dataEntries = offset;
  offset += entries.size() * kDataEntrySize;
  std::map<std::u16string, std::uint32_t> texts;
  for (const TypeNode& type : types) {
    if (!type.Type.Text.empty()) texts.emplace(type.Type.Text, 0);
    for (const NameNode& name : type.Names) {
      if (!name.Name.Text.empty()) texts.emplace(name.Name.Text, 0);
    }
  }
  for (auto& [text, at] : texts) {
    at = static_cast<std::uint32_t>(std::min(offset, kImageLimit));
    offset += 2 + text.size() * 2;
  }
  offset = AlignUp(offset, 8);
  std::uint64_t dataAt = offset;
  for (const auto& entry : entries) offset = AlignUp(offset + entry.second.Data.size(), 8);
  if (offset > kImageLimit) {
    tooLarge = offset;
    error = L"its resources would take " + std::to_wstring(offset) + L" bytes; the whole image must stay within " +
            std::to_wstring(kImageLimit) + L" bytes";
    return status::InvalidValue;
  }

  section.assign(offset, 0);
  auto nameField = [&](const ResourceName& name) {
    return name.Text.empty() ? std::uint32_t{name.Id} : kSubdirectory | texts.at(name.Text);
  };
  // Named entries come first in every directory, and the map sorts them so.
  auto directoryHeader = [&](std::uint32_t at, auto first, auto last) {
    const auto named = std::count_if(first, last, [](const auto& n) { return !n.first.Text.empty(); });
    Put16(section, at + 12, static_cast<std::uint32_t>(named));
    Put16(section, at + 14, static_cast<std::uint32_t>((last - first) - named));
  };
  std::vector<std::pair<ResourceName, std::uint32_t>> rows;
  for (const TypeNode& type : types) rows.emplace_back(type.Type, type.At);
  directoryHeader(0, rows.begin(), rows.end());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    Put32(section, kDirectorySize + i * kDirectoryEntrySize, nameField(rows[i].first));
    Put32(section, kDirectorySize + i * kDirectoryEntrySize + 4, kSubdirectory | rows[i].second);
  }
  std::size_t dataEntry = dataEntries;
  for (const TypeNode& type : types) {
    rows.clear();
    for (const NameNode& name : type.Names) rows.emplace_back(name.Name, name.At);
    directoryHeader(type.At, rows.begin(), rows.end());
    for (std::size_t i = 0; i < rows.size(); ++i) {
      Put32(section, type.At + kDirectorySize + i * kDirectoryEntrySize, nameField(rows[i].first));
      Put32(section, type.At + kDirectorySize + i * kDirectoryEntrySize + 4, kSubdirectory | rows[i].second);
    }
    for (const NameNode& name : type.Names) {
      Put16(section, name.At + 14, static_cast<std::uint32_t>(name.Languages.size()));
      for (std::size_t i = 0; i < name.Languages.size(); ++i) {
        const ResourceData& data = *name.Languages[i].second;
        Put32(section, name.At + kDirectorySize + i * kDirectoryEntrySize, name.Languages[i].first);
        Put32(section, name.At + kDirectorySize + i * kDirectoryEntrySize + 4, dataEntry);
        Put32(section, dataEntry, static_cast<std::uint32_t>(address + dataAt));
        Put32(section, dataEntry + 4, static_cast<std::uint32_t>(data.Data.size()));
        Put32(section, dataEntry + 8, data.CodePage);
        std::copy(data.Data.begin(), data.Data.end(), section.begin() + dataAt);
        dataAt = AlignUp(dataAt + data.Data.size(), 8);
        dataEntry += kDataEntrySize;
      }
    }
  }
  for (const auto& [text, at] : texts) {
    Put16(section, at, static_cast<std::uint32_t>(text.size()));
    for (std::size_t i = 0; i < text.size(); ++i) Put16(section, at + 2 + i * 2, text[i]);
  }
  return status::Ok;
}

std::wstring Describe(const ResourceName& name) {
  return name.Text.empty() ? std::to_wstring(name.Id) : L"\"" + std::wstring(name.Text.begin(), name.Text.end()) + L"\"";
}

}  // namespace

VMStatus GetImageEnd(const Bytes& file, std::uint64_t& end, std::wstring& error) {
  Layout layout;
  const VMStatus read = ReadHeaders(file, layout, error);
  end = read == status::Ok ? layout.ImageEnd : 0;
  return read;
}

VMStatus PeImage::Read(const Bytes& file, ImageFacts& facts, std::wstring& error) {
  entries_.clear();
  file_.clear();
  facts = ImageFacts{};
  Layout layout;
  VM_RETURN_IF_FAILED(ReadHeaders(file, layout, error));
  const bool hasTree = FindTree(layout, layout.Resources, layout.TreeAt, layout.TreeSize);
  if (!hasTree && layout.DirectorySize(directory::Resources) != 0) {
    return Refuse(error, L"its resource directory lies outside the data of its sections");
  }
  if (hasTree) VM_RETURN_IF_FAILED(ReadTree(file, layout, entries_, error));
  facts.End = layout.ImageEnd;
  facts.CertificateAt = layout.DirectoryAddress(directory::Security);
  facts.CertificateSize = layout.DirectorySize(directory::Security);
  facts.DirectoryCount = layout.DirectoryCount;
  facts.ImportsSize = layout.DirectorySize(directory::Imports);
  return status::Ok;
}

VMStatus PeImage::Load(Bytes file, std::wstring& error) {
  entries_.clear();
  Layout layout;
  VM_RETURN_IF_FAILED(ReadLayout(file, layout, error));
  VM_RETURN_IF_FAILED(ReadTree(file, layout, entries_, error));
  file_ = std::move(file);
  return status::Ok;
}

const ResourceData* PeImage::Find(std::uint16_t type, std::uint16_t id, std::uint16_t language) const {
  const auto found = entries_.find(NumericKey(type, id, language));
  return found == entries_.end() ? nullptr : &found->second;
}

void PeImage::Set(std::uint16_t type, std::uint16_t id, std::uint16_t language, Bytes data) {
  ResourceData& entry = entries_[NumericKey(type, id, language)];
  entry.Data = std::move(data);
  entry.CodePage = 0;
}

std::size_t PeImage::Remove(std::uint16_t type, std::uint16_t id, std::uint16_t language) {
  return entries_.erase(NumericKey(type, id, language));
}

std::size_t PeImage::RemoveAll(std::uint16_t type, std::uint16_t id) {
  return std::erase_if(entries_, [&](const auto& entry) {
    const ResourceKey& key = entry.first;
    return key.Type.Text.empty() && key.Type.Id == type && (id == 0 || (key.Name.Text.empty() && key.Name.Id == id));
  });
}

VMStatus PeImage::Write(Bytes& file, std::wstring& error, std::uint64_t* tooLarge) const {
  Layout layout;
  VM_RETURN_IF_FAILED(ReadLayout(file_, layout, error));
  for (const auto& [key, data] : entries_) {
    if (std::search(data.Data.begin(), data.Data.end(), std::begin(kSevenZipSignature), std::end(kSevenZipSignature)) !=
        data.Data.end()) {
      return Refuse(error, (L"its resource " + Describe(key.Type) + L"/" + Describe(key.Name) + L"/" +
                            std::to_wstring(key.Language) +
                            L" holds the 7z signature, which the stub could take for its payload"));
    }
  }
  const Section& resources = layout.Sections[layout.Resources];
  Bytes section;
  std::uint64_t sectionTooLarge = 0;
  if (const VMStatus built = BuildSection(entries_, resources.VirtualAddress, section, error, sectionTooLarge);
      built != status::Ok) {
    if (tooLarge != nullptr && sectionTooLarge != 0) *tooLarge = resources.RawAt + sectionTooLarge;
    return built;
  }
  const std::uint64_t rawSize = AlignUp(section.size(), layout.FileAlignment);
  const std::uint64_t moved = layout.RelocationsFollow ? layout.Sections.back().RawSize : 0;
  if (resources.RawAt + rawSize + moved > kImageLimit) {
    if (tooLarge != nullptr) *tooLarge = resources.RawAt + rawSize + moved;
    error = L"with its resources the image would be " + std::to_wstring(resources.RawAt + rawSize + moved) +
            L" bytes; it must stay within " + std::to_wstring(kImageLimit);
    return status::InvalidValue;
  }

  file.assign(file_.begin(), file_.begin() + resources.RawAt);
  file.insert(file.end(), section.begin(), section.end());
  file.resize(static_cast<std::size_t>(resources.RawAt + rawSize), 0);
  Put32(file, resources.HeaderAt + section_at::VirtualSize, static_cast<std::uint32_t>(section.size()));
  Put32(file, resources.HeaderAt + section_at::SizeOfRawData, static_cast<std::uint32_t>(rawSize));
  Put32(file, layout.DirectoryAt(directory::Resources) + 4, static_cast<std::uint32_t>(section.size()));
  // Addresses stay far below 4 GiB: the image limit bounds every size.
  auto end = static_cast<std::uint32_t>(
      AlignUp(std::uint64_t{resources.VirtualAddress} + section.size(), layout.SectionAlignment));

  if (layout.RelocationsFollow) {
    const Section& relocations = layout.Sections.back();
    const std::uint32_t moved = end;
    Put32(file, relocations.HeaderAt + section_at::VirtualAddress, moved);
    if (relocations.RawSize != 0) {
      Put32(file, relocations.HeaderAt + section_at::PointerToRawData, static_cast<std::uint32_t>(file.size()));
      file.insert(file.end(), file_.begin() + relocations.RawAt,
                  file_.begin() + relocations.RawAt + relocations.RawSize);
    }
    Put32(file, layout.DirectoryAt(directory::Relocations),
          layout.DirectoryAddress(directory::Relocations) - relocations.VirtualAddress + moved);
    end = static_cast<std::uint32_t>(AlignUp(std::uint64_t{moved} + relocations.Mapped(), layout.SectionAlignment));
  }

  const std::size_t initialized = layout.Optional + optional_at::SizeOfInitializedData;
  Put32(file, initialized, Get32(file, initialized) + static_cast<std::uint32_t>(rawSize) - resources.RawSize);
  Put32(file, layout.Optional + optional_at::SizeOfImage, end);
  Put32(file, layout.Optional + optional_at::CheckSum, 0);
  return status::Ok;
}

}  // namespace pe_resources
