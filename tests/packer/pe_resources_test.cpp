// SPDX-License-Identifier: Apache-2.0
// The resource writer on the real stub: what it writes back, Windows reads
// the same way; images it cannot handle are refused, damaged trees never
// read past their bytes.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <functional>

#include "packer/pe/pe_resources.h"
#include "support/vm_status.h"
#include "tests/tools/folder_listing.h"
#include "tests/tools/temp_folder.h"
#include "tests/tools/process_runner.h"

namespace {

using pe_resources::Bytes;
using pe_resources::PeImage;
namespace status = velmora::status;

std::wstring g_stub;

Bytes StubBytes() {
  const std::string text = testing_tools::ReadWholeFile(g_stub);
  return Bytes(text.begin(), text.end());
}

std::uint32_t Get32(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::size_t OptionalHeader(const Bytes& b) { return Get32(b, 0x3C) + 24; }
std::size_t SectionHeader(const Bytes& b, const char* name) {
  const std::size_t nt = Get32(b, 0x3C);
  const std::size_t count = b[nt + 6];
  const std::size_t first = OptionalHeader(b) + (b[nt + 20] | b[nt + 21] << 8);
  for (std::size_t i = 0; i < count; ++i) {
    if (std::string(reinterpret_cast<const char*>(&b[first + i * 40])).rfind(name, 0) == 0) return first + i * 40;
  }
  return 0;
}

Bytes Written(const PeImage& image) {
  Bytes out;
  std::wstring error;
  EXPECT_EQ(image.Write(out, error), status::Ok) << testing::PrintToString(error);
  return out;
}

// Every entry as Windows finds it in the file.
void ExpectWindowsReads(const Bytes& file, const PeImage& image) {
  const testing_tools::TempFolder work;
  const std::wstring path = work / L"image.exe";
  testing_tools::WriteWholeFile(path, std::string(file.begin(), file.end()));
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr) << GetLastError();
  for (const auto& [key, data] : image.Entries()) {
    HRSRC found = FindResourceExW(module, MAKEINTRESOURCEW(key.Type.Id), MAKEINTRESOURCEW(key.Name.Id), key.Language);
    ASSERT_NE(found, nullptr) << key.Type.Id << "/" << key.Name.Id << "/" << key.Language;
    const auto* bytes = static_cast<const std::uint8_t*>(LockResource(LoadResource(module, found)));
    EXPECT_EQ(Bytes(bytes, bytes + SizeofResource(module, found)), data.Data);
  }
  FreeLibrary(module);
}

TEST(PeResources, EditsReadBackByWindowsAndByTheReader) {
  struct Row {
    const char* Name;
    std::size_t Size;     // of the RCDATA 222 set, or
    bool RemoveIcons;     // every RT_ICON goes
  };
  // Sizes around the section's alignment, and past the relocations' room.
  const Row rows[] = {{"nothing changed", 0, false}, {"an empty entry", 1, false}, {"one byte", 2, false},
                      {"a page", 4096, false},       {"far more", 300000, false},  {"icons removed", 0, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    PeImage image;
    std::wstring error;
    ASSERT_EQ(image.Load(StubBytes(), error), status::Ok) << testing::PrintToString(error);
    const std::size_t before = image.Entries().size();
    if (row.Size != 0) {
      Bytes data(row.Size - 1);
      for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
      image.Set(pe_resources::kTypeRcData, 222, 1033, data);
    }
    if (row.RemoveIcons) {
      EXPECT_EQ(image.RemoveAll(pe_resources::kTypeIcon), 2u);
    }
    const Bytes file = Written(image);
    PeImage reread;
    ASSERT_EQ(reread.Load(file, error), status::Ok) << testing::PrintToString(error);
    EXPECT_TRUE(reread.Entries() == image.Entries());
    EXPECT_EQ(image.Entries().size(), before + (row.Size != 0) - 2 * row.RemoveIcons);
    EXPECT_EQ(Get32(file, OptionalHeader(file) + 64), 0u) << "checksum cleared";
    ExpectWindowsReads(file, image);
    // Written twice, the same bytes.
    EXPECT_TRUE(Written(reread) == file);
  }
}

TEST(PeResources, RefusesImagesItCannotWriteBack) {
  const Bytes stub = StubBytes();
  const std::size_t optional = OptionalHeader(stub);
  const std::size_t rsrc = SectionHeader(stub, ".rsrc");
  const std::size_t reloc = SectionHeader(stub, ".reloc");
  ASSERT_NE(rsrc, 0u);
  ASSERT_NE(reloc, 0u);
  const std::size_t tree = Get32(stub, rsrc + 20);
  struct Row {
    const char* Name;
    std::function<void(Bytes&)> Change;
    const wchar_t* Reason;
  };
  const Row rows[] = {
      {"no MZ", [](Bytes& b) { b[0] = 'X'; }, L"not a Windows program"},
      {"cut in the headers", [](Bytes& b) { b.resize(0x100); }, L"headers are damaged"},
      {"x64", [&](Bytes& b) { b[optional - 20] = 0x64; b[optional - 19] = 0x86; }, L"not a 32-bit x86"},
      {"signed", [&](Bytes& b) { Put32(b, optional + 96 + 4 * 8 + 4, 16); }, L"signed"},
      {"bytes behind the image", [](Bytes& b) { b.push_back(0); }, L"behind its image"},
      {"no resource directory", [&](Bytes& b) { Put32(b, optional + 96 + 2 * 8 + 4, 0); }, L"no resource section"},
      {"a section behind the resources that cannot move",
       [&](Bytes& b) { Put32(b, optional + 96 + 5 * 8, Get32(b, reloc + 12) + 0x10); }, L"cannot move"},
      {"a tree entry count beyond the section", [&](Bytes& b) { b[tree + 14] = 0xFF; b[tree + 15] = 0xFF; },
       L"damaged"},
      {"a subdirectory beyond the section", [&](Bytes& b) { Put32(b, tree + 20, 0x8FFFFFF0u); }, L"damaged"},
      {"a tree that points back at its root", [&](Bytes& b) {
         const std::size_t type = tree + (Get32(b, tree + 20) & 0x7FFFFFFF);
         Put32(b, type + 20, 0x80000000u);
       }, L"damaged"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    Bytes file = stub;
    row.Change(file);
    PeImage image;
    std::wstring error;
    EXPECT_EQ(image.Load(file, error), status::InvalidValue);
    EXPECT_NE(error.find(row.Reason), std::wstring::npos) << testing::PrintToString(error);
  }
  // Resources that together pass the image limit, as one large entry shared
  // under many keys would: refused before a section that size is built.
  PeImage image;
  std::wstring error;
  ASSERT_EQ(image.Load(stub, error), status::Ok);
  for (std::uint16_t id = 1; id <= 3; ++id) image.Set(pe_resources::kTypeRcData, id, 1033, Bytes(3u << 20));
  Bytes written;
  EXPECT_EQ(image.Write(written, error), status::InvalidValue);
  EXPECT_NE(error.find(L"must stay within 8388608 bytes"), std::wstring::npos) << testing::PrintToString(error);
}

// Any byte of the tree changed: the reader refuses or reads something it
// writes back and reads again the same; it never reads outside the file.
TEST(PeResources, DamagedTreesAreRefusedOrKeptWhole) {
  const Bytes stub = StubBytes();
  const std::size_t rsrc = SectionHeader(stub, ".rsrc");
  const std::size_t tree = Get32(stub, rsrc + 20);
  int refused = 0;
  for (std::size_t at = tree; at < tree + 0x200; ++at) {
    for (const std::uint8_t mask : {0x01, 0xFF}) {
      Bytes file = stub;
      file[at] ^= mask;
      PeImage image;
      std::wstring error;
      if (image.Load(file, error) != status::Ok) {
        ++refused;
        continue;
      }
      PeImage reread;
      ASSERT_EQ(reread.Load(Written(image), error), status::Ok) << at;
      ASSERT_TRUE(reread.Entries() == image.Entries()) << at;
    }
  }
  EXPECT_GT(refused, 0);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    testing_tools::PathArgument(argument, "stub", g_stub);
  }
  if (g_stub.empty()) {
    std::fprintf(stderr, "usage: pe_resource_tests --stub=STUB.exe\n");
    return 2;
  }
  return RUN_ALL_TESTS();
}
