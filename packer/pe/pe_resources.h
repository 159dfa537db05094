// SPDX-License-Identifier: Apache-2.0
// The resources of a 32-bit x86 Windows image, read from and written back
// into its bytes without any Windows function, so that the packer works the
// same on every host.
//
// The image is written back with a rebuilt resource section. That section
// must be the last one, or be followed only by the base relocations, which
// move behind it; anything else is refused.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "support/vm_status.h"

namespace pe_resources {

using Bytes = std::vector<std::uint8_t>;

// The stub finds its payload only within this many bytes from the start of
// its file, so no image the packer reads or writes is ever larger: every
// size is checked against it before anything is allocated.
inline constexpr std::uint64_t kImageLimit = 8u * 1024 * 1024;

inline constexpr std::uint16_t kTypeIcon = 3;
inline constexpr std::uint16_t kTypeRcData = 10;
inline constexpr std::uint16_t kTypeGroupIcon = 14;
inline constexpr std::uint16_t kTypeVersion = 16;

// A type or a name in the resource tree: a number or a text.
struct ResourceName {
  std::uint16_t Id = 0;
  std::u16string Text;  // empty: the name is Id

  friend bool operator==(const ResourceName&, const ResourceName&) = default;
};
// Texts before numbers, as the tree keeps them.
bool operator<(const ResourceName& a, const ResourceName& b);

struct ResourceKey {
  ResourceName Type;
  ResourceName Name;
  std::uint16_t Language = 0;

  friend bool operator==(const ResourceKey&, const ResourceKey&) = default;
};
bool operator<(const ResourceKey& a, const ResourceKey& b);

struct ResourceData {
  Bytes Data;
  std::uint32_t CodePage = 0;

  friend bool operator==(const ResourceData&, const ResourceData&) = default;
};

// Where the image in `file` ends: the end of its headers or of its last
// section's data, whichever is later. Anything but a 32-bit x86 Windows
// program the loader would map, or one whose sections lie beyond the file,
// fails with InvalidValue.
// `error` says why in a few words.
[[nodiscard]] velmora::VMStatus GetImageEnd(const Bytes& file, std::uint64_t& end, std::wstring& error);

// What an image that the loader would map says about itself.
struct ImageFacts {
  std::uint64_t End = 0;
  // The certificate table: a file offset and a size, both 0 when unsigned.
  std::uint32_t CertificateAt = 0;
  std::uint32_t CertificateSize = 0;
  // How many data directories the optional header counts (at most 16), and
  // the size of the import directory (0 when there is none).
  std::uint32_t DirectoryCount = 0;
  std::uint32_t ImportsSize = 0;
};

class PeImage {
 public:
  // Takes the whole file. Fails with InvalidValue and a one-line reason for
  // anything but a well-formed 32-bit x86 image that it can write back.
  [[nodiscard]] velmora::VMStatus Load(Bytes file, std::wstring& error);
  // Takes an image only to look at: signed, with data behind it or with
  // sections after its resources. Its headers, section layout, data
  // directories and resource tree are held to what the loader demands.
  [[nodiscard]] velmora::VMStatus Read(const Bytes& file, ImageFacts& facts, std::wstring& error);

  [[nodiscard]] const ResourceData* Find(std::uint16_t type, std::uint16_t id, std::uint16_t language) const;
  void Set(std::uint16_t type, std::uint16_t id, std::uint16_t language, Bytes data);
  // How many entries went.
  std::size_t Remove(std::uint16_t type, std::uint16_t id, std::uint16_t language);
  // Every language of `type`/`id`, or of every id of `type` when `id` is 0.
  std::size_t RemoveAll(std::uint16_t type, std::uint16_t id = 0);
  [[nodiscard]] const std::map<ResourceKey, ResourceData>& Entries() const { return entries_; }

  // The image with the resources as they are now. The checksum field is
  // cleared: the installer's bytes change again when the payload follows.
  // An image that would grow beyond kImageLimit fails, and `tooLarge`, when
  // given, receives the size it would have.
  [[nodiscard]] velmora::VMStatus Write(Bytes& file, std::wstring& error, std::uint64_t* tooLarge = nullptr) const;

 private:
  Bytes file_;
  std::map<ResourceKey, ResourceData> entries_;
};

}  // namespace pe_resources
