// SPDX-License-Identifier: Apache-2.0
// Unpacking archives made by 7zz and crafted byte by byte (tests/tasks/
// make_payloads.py) into real folders, in this process.
#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "support/vm_status.h"
#include "support/vm_win_wow64_fs_redirection.h"
#include "tests/tools/folder_listing.h"
#include "tests/tools/folder_tree.h"
#include "tests/tools/process_runner.h"
#include "tests/tools/temp_folder.h"
#include "tests/tools/unix_side.h"
#include "tasks/delete_extracted_files.h"
#include "elevation/elevated_folder.h"
#include "tasks/extract_files.h"
#include "tasks/extraction_record.h"
#include "payload/installer_file.h"

// The generator's output folder and the folder with the link fixture, as
// Windows sees them.
std::wstring g_payloads;
std::wstring g_links;
std::wstring g_handOver;

namespace {

using velmora::VMStatus;
namespace status = velmora::status;
using testing_tools::ListFolder;
using testing_tools::ReadWholeFile;
using testing_tools::RemoveTree;
using testing_tools::WriteWholeFile;

std::wstring Payload(const wchar_t* name) { return g_payloads + L"\\" + name; }

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A fresh, empty work folder per test; `Target()` lies inside it and does
// not exist yet.
class Extraction : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(work_.empty()) << GetLastError(); }

  std::wstring Target() const { return work_ + L"\\target"; }

  const testing_tools::TempFolder folder_{L"vmstub-extract-"};
  const std::wstring& work_ = folder_.Path();
};

// Every coding method, into a temporary folder and into one below the real
// system folder. On 64-bit Windows a 32-bit process sees SysWOW64 under that
// name on every thread that has not switched WOW64 redirection off; this
// thread has, as the task worker does, so each file must land at the real
// place, on whichever thread the library hands it over.
TEST_F(Extraction, EveryCodingMethodReproducesTheTree) {
  const velmora::VMWinWow64FsRedirection redirection;
  ASSERT_EQ(redirection.Status(), status::Ok);
  wchar_t system[MAX_PATH] = {};
  ASSERT_NE(GetSystemDirectoryW(system, MAX_PATH), 0u);
  wchar_t wow64[MAX_PATH] = {};
  const bool hasWow64 = GetSystemWow64DirectoryW(wow64, MAX_PATH) != 0;
  const testing_tools::TempFolder belowSystem(L"vmstub-test-", system);
  ASSERT_FALSE(belowSystem.Path().empty());
  // Where the files would end up if a thread saw SysWOW64 instead.
  const std::wstring wow64Twin = std::wstring(wow64) + belowSystem.Path().substr(wcslen(system));

  struct Row {
    const wchar_t* Method;
    const wchar_t* Tree;
  };
  const Row rows[] = {{L"lzma", L"tree"},  {L"lzma2", L"tree"},  {L"ppmd", L"tree"},        {L"bcj", L"tree"},
                      {L"bcj2", L"tree"},  {L"arm64", L"tree"},  {L"riscv", L"tree"},       {L"delta", L"tree"},
                      {L"copy", L"tree"},  {L"solid", L"tree"},  {L"nonsolid", L"tree"},
                      {L"lzma2-blocks", L"blocks"}};
  ASSERT_EQ(ListFolder(Payload(L"tree")).size(), 13u) << "the generator's tree";
  for (const std::wstring& target : {Target(), belowSystem / L"target"}) {
    for (const Row& row : rows) {
      SCOPED_TRACE(testing::PrintToString(target + L" " + row.Method));
      const VMStatus result = ExtractArchive(Payload((std::wstring(L"method-") + row.Method + L".7z").c_str()), target);
      if (hasWow64) {
        const bool misplaced = Exists(wow64Twin);
        RemoveTree(wow64Twin);
        EXPECT_FALSE(misplaced) << "files went to SysWOW64";
      }
      ASSERT_EQ(result, status::Ok);
      const auto original = ListFolder(Payload(row.Tree));
      const auto unpacked = ListFolder(target);
      EXPECT_EQ(unpacked.size(), original.size());
      for (const auto& [path, entry] : original) {
        SCOPED_TRACE(testing::PrintToString(path));
        const auto found = unpacked.find(path);
        ASSERT_NE(found, unpacked.end());
        EXPECT_EQ(found->second.Attributes, entry.Attributes);
        EXPECT_EQ(found->second.Modified, entry.Modified);
        EXPECT_TRUE(found->second.Content == entry.Content);
      }
      RemoveTree(target);
    }
  }
}

TEST_F(Extraction, ItemsGetTheirStoredAttributesTimesAndPlaces) {
  constexpr ULONGLONG k2021 = 132593079670000000;  // 2021-03-04 05:06:07 UTC
  constexpr ULONGLONG k2010 = 129067776000000000;  // 2010-01-01 00:00:00 UTC
  struct Expected {
    const wchar_t* Path;
    DWORD Attributes;
    ULONGLONG Modified;
    const char* Content;
  };
  const Expected expected[] = {
      {L"plain.txt", 0, k2021, "plain"},
      {L"hidden.txt", FILE_ATTRIBUTE_HIDDEN, k2010, "hidden"},
      {L"readonly.txt", FILE_ATTRIBUTE_READONLY, k2021, "ro"},
      // The Unix mode that archives from Unix carry must not cost the rest.
      {L"sub\\unix.txt", 0, k2021, "unix"},
      {L"sub\\dir", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN, k2010, ""},
      {L"sub", FILE_ATTRIBUTE_DIRECTORY, k2010, ""},
      {L"slash\\a\\b.txt", 0, k2021, "slashes"},
      // Archives written on Windows may separate folders with a backslash.
      {L"back\\a\\b.txt", 0, k2021, "backslashes"},
      {L"zero.txt", 0, k2021, ""},
  };
  // With and without a trailing separator, and into a folder that exists.
  const std::wstring targets[] = {Target(), Target() + L"\\", Target() + L"/", Target()};
  for (const std::wstring& target : targets) {
    SCOPED_TRACE(testing::PrintToString(target));
    ASSERT_EQ(ExtractArchive(Payload(L"crafted-attributes.7z"), target), status::Ok);
    const auto unpacked = ListFolder(Target());
    for (const Expected& item : expected) {
      SCOPED_TRACE(testing::PrintToString(std::wstring(item.Path)));
      const auto found = unpacked.find(item.Path);
      ASSERT_NE(found, unpacked.end());
      EXPECT_EQ(found->second.Attributes, item.Attributes);
      EXPECT_EQ(found->second.Modified, item.Modified);
      EXPECT_EQ(found->second.Content, item.Content);
    }
  }
}

TEST_F(Extraction, ExistingFilesAndAntiItems) {
  ASSERT_TRUE(CreateDirectoryW(Target().c_str(), nullptr));
  const std::wstring target = Target() + L"\\";

  // An existing read-only file is replaced.
  WriteWholeFile(target + L"readonly.txt", "old");
  ASSERT_TRUE(SetFileAttributesW((target + L"readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(ExtractArchive(Payload(L"crafted-readonly.7z"), Target()), status::Ok);
  EXPECT_EQ(ReadWholeFile(target + L"readonly.txt"), "new content");

  // Anti-items delete what they name.
  WriteWholeFile(target + L"gone.txt", "doomed");
  ASSERT_TRUE(CreateDirectoryW((target + L"gonedir").c_str(), nullptr));
  EXPECT_EQ(ExtractArchive(Payload(L"crafted-anti.7z"), Target()), status::Ok);
  EXPECT_FALSE(Exists(target + L"gone.txt"));
  EXPECT_FALSE(Exists(target + L"gonedir"));
  EXPECT_EQ(ReadWholeFile(target + L"kept.txt"), "kept");

  // An item without a path becomes "Default", with the archive file's time.
  EXPECT_EQ(ExtractArchive(Payload(L"crafted-nopath.7z"), Target()), status::Ok);
  EXPECT_EQ(ReadWholeFile(target + L"Default"), "nameless");

  // A folder where a file belongs is not replaced.
  ASSERT_TRUE(CreateDirectoryW((target + L"taken").c_str(), nullptr));
  EXPECT_EQ(ExtractArchive(Payload(L"crafted-folder-at-file.7z"), Target()), status::Failed);
  EXPECT_TRUE(GetFileAttributesW((target + L"taken").c_str()) & FILE_ATTRIBUTE_DIRECTORY);

  // A file where a folder belongs fails the run and keeps its content, time
  // and attributes.
  WriteWholeFile(target + L"empty", "a file");
  const auto file = ListFolder(Target()).at(L"empty");
  EXPECT_EQ(ExtractArchive(Payload(L"crafted-file-at-folder.7z"), Target()), status::Failed);
  EXPECT_EQ(ListFolder(Target()).at(L"empty"), file);
}

TEST_F(Extraction, UnsafeItemPathsLeaveNoTrace) {
  const wchar_t* cases[] = {L"parent",           L"parent-nested", L"drive",     L"unc",
                            L"stream",           L"rooted",        L"device",    L"device-folder",
                            L"parent-backslash", L"parent-nested-backslash",     L"rooted-backslash",
                            L"dot",              L"trailing",      L"forbidden", L"long"};
  // Targets two levels down, so that "a/../../x" would land inside work_.
  const std::wstring target = Target() + L"\\inner";
  for (const wchar_t* name : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
    const std::wstring payload = Payload((std::wstring(L"crafted-unsafe-") + name + L".7z").c_str());
    EXPECT_EQ(ExtractArchive(payload, target), status::Failed);
    EXPECT_FALSE(Exists(Target())) << "nothing is created, not even the target folder";
    EXPECT_FALSE(Exists(work_ + L"\\x"));
    EXPECT_FALSE(Exists(L"C:\\x"));
  }
}

TEST_F(Extraction, PayloadMustStartWithinTheFirst8MiB) {
  const std::string archive = ReadWholeFile(Payload(L"method-lzma2.7z"));
  struct Row {
    const char* Name;
    std::size_t Offset;
    VMStatus Status;
    // A PE header whose image ends at Offset, with an encrypted archive
    // inside the image that a search from the start would find first.
    bool HiddenArchive = false;
  };
  const Row rows[] = {
      {"directly behind a small image", 4096, status::Ok},
      {"behind an image that hides another archive", 4096, status::Ok, true},
      {"just inside the limit", (8u << 20) - 65536, status::Ok},
      {"beyond the limit", (8u << 20) + 65536, status::Failed},
  };
  const std::wstring installer = work_ + L"\\installer.exe";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    // Stub-like bytes, with a false signature the search must pass over.
    std::string image(row.Offset, 'M');
    image.replace(100, 6, "7z\xBC\xAF\x27\x1C");
    if (row.HiddenArchive) {
      image.replace(0, 2, "MZ");
      image.replace(0x3C, 4, std::string("\x40\0\0\0", 4));
      image.replace(0x40, 24, std::string("PE\0\0", 4) + std::string(20, '\0'));  // no sections
      for (int i = 0; i < 4; ++i) image[0x40 + 24 + 60 + i] = static_cast<char>(row.Offset >> (8 * i));
      const std::string hidden = ReadWholeFile(Payload(L"encrypted.7z"));
      image.replace(0x200, hidden.size(), hidden);
    }
    WriteWholeFile(installer, image + archive);
    EXPECT_EQ(ExtractArchive(installer, Target()), row.Status);
    if (row.Status == status::Ok) {
      EXPECT_EQ(ReadWholeFile(Target() + L"\\readme.txt"), "hello\r\n");
    }
    RemoveTree(Target());
  }
}

TEST_F(Extraction, RefusedArchivesAndFolders) {
  EXPECT_EQ(ExtractArchive(Payload(L"encrypted.7z"), Target()), status::Failed) << "no password is ever given";
  EXPECT_EQ(ExtractArchive(Payload(L"no-such.7z"), Target()), status::Failed);
  EXPECT_EQ(ExtractArchive(Payload(L"tree\\readme.txt"), Target()), status::Failed) << "not an archive";

  // A target below a file cannot be created: that Windows error is the result.
  WriteWholeFile(work_ + L"\\file", "x");
  const VMStatus result = ExtractArchive(Payload(L"method-copy.7z"), work_ + L"\\file\\sub");
  EXPECT_NE(result, status::Ok);
  EXPECT_NE(result, status::Failed);
  EXPECT_LT(result, 0x10000u) << "a Windows error code";

  // Of a nested target the first level that cannot be made gives the error,
  // not the levels below it, which then only miss their parent. Wine shows
  // the Unix root as drive Z:, and the kernel's /sys takes no new folder.
  const std::wstring refusing = L"Z:\\sys\\vmstub-test-level";
  ASSERT_FALSE(CreateDirectoryW(refusing.c_str(), nullptr));
  const DWORD levelError = GetLastError();
  ASSERT_NE(levelError, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(ExtractArchive(Payload(L"method-copy.7z"), refusing + L"\\b\\c"), levelError);

  // An empty target would mean the working directory, wherever that is.
  wchar_t current[MAX_PATH] = {};
  ASSERT_NE(GetCurrentDirectoryW(MAX_PATH, current), 0u);
  ASSERT_TRUE(SetCurrentDirectoryW(work_.c_str()));
  const VMStatus empty = ExtractArchive(Payload(L"method-copy.7z"), L"");
  SetCurrentDirectoryW(current);
  EXPECT_EQ(empty, static_cast<VMStatus>(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(Exists(work_ + L"\\readme.txt"));
}

// Damaged payloads end in 0xEE000001 or, where the damage does not matter,
// in the right files: never a crash, a hang or wrong content.
TEST_F(Extraction, DamagedPayloadsFailCleanly) {
  const auto original = ListFolder(Payload(L"tree"));
  const std::string archive = ReadWholeFile(Payload(L"method-lzma2.7z"));
  const std::size_t size = archive.size();
  struct Damage {
    const char* Name;
    std::size_t Length;        // truncated to this length
    std::size_t FlipAt = 0;    // byte to invert, when not 0
  };
  const Damage damages[] = {
      {"signature only", 6},
      {"start header cut", 20},
      {"headers missing", 32},
      {"half of the data", size / 2},
      {"last byte missing", size - 1},
      {"start header CRC", size, 9},
      {"next header offset", size, 14},
      {"first data byte", size, 32},
      {"data in the middle", size, 32 + (size - 32) / 3},
      {"end header", size, size - 20},
      {"last byte", size, size - 1},
  };
  const std::wstring damaged = work_ + L"\\damaged.7z";
  int partial = 0;
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.Name);
    std::string bytes = archive.substr(0, damage.Length);
    if (damage.FlipAt != 0) bytes[damage.FlipAt] = static_cast<char>(~bytes[damage.FlipAt]);
    WriteWholeFile(damaged, bytes);
    const VMStatus result = ExtractArchive(damaged, Target());
    EXPECT_TRUE(result == status::Ok || result == status::Failed) << std::hex << result;
    if (result == status::Ok) {
      for (const auto& [path, entry] : original) {
        if (entry.Attributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        EXPECT_EQ(ReadWholeFile(Target() + L"\\" + path), entry.Content) << testing::PrintToString(path);
      }
    } else if (Exists(Target()) && !ListFolder(Target()).empty()) {
      ++partial;
    }
    RemoveTree(Target());

    // With a record, as every stub extracts, into a folder that holds a file
    // of the user's and a folder to create: a failure part-way removes what
    // it made, by identity, and keeps the user's file.
    ASSERT_TRUE(CreateDirectoryW(Target().c_str(), nullptr));
    WriteWholeFile(Target() + L"\\mine.txt", "mine");
    ExtractionRecord record;
    EXPECT_EQ(ExtractArchive(damaged, Target() + L"\\new", &record), result);
    std::vector<std::wstring> left;
    for (const auto& [path, entry] : ListFolder(Target())) left.push_back(path);
    if (result != status::Ok) {
      EXPECT_EQ(left, std::vector<std::wstring>{L"mine.txt"});
    }
    EXPECT_EQ(ReadWholeFile(Target() + L"\\mine.txt"), "mine");
    RemoveTree(Target());
  }
  EXPECT_GT(partial, 0) << "no damage left part of the tree written without a record";
}

// Links already standing in the target folder (made on the Unix side, as
// Wine's own link calls create nothing) must not lead any write, deletion or
// attribute change outside it. Hard links share their data and attributes
// with a name outside.
TEST(ExtractionIntoLinks, NothingOutsideTheTargetChanges) {
  enum class Link { Symbolic, Hard };
  struct Row {
    const char* Name;
    const wchar_t* Payload;
    const wchar_t* LinkAt;  // in the target folder
    const wchar_t* LinkTo;  // in the folder beside it
    Link Kind = Link::Symbolic;
    bool ReadOnly = false;  // the outside file
    VMStatus Status = status::Failed;
    const char* ContentAtLink = nullptr;  // what the target then holds there
  };
  const Row rows[] = {
      {.Name = "a file below a folder link", .Payload = L"link-file-below", .LinkAt = L"sub", .LinkTo = L""},
      {.Name = "a file below a deeper folder link", .Payload = L"link-file-deeper", .LinkAt = L"a\\sub", .LinkTo = L""},
      {.Name = "an anti-item below a folder link", .Payload = L"link-anti-below", .LinkAt = L"sub", .LinkTo = L""},
      {.Name = "a directory item below a folder link", .Payload = L"link-folder-below", .LinkAt = L"sub", .LinkTo = L""},
      {.Name = "a directory item on a folder link", .Payload = L"link-folder-itself", .LinkAt = L"sub", .LinkTo = L""},
      {.Name = "a file item on a file link", .Payload = L"link-file-itself", .LinkAt = L"f.txt", .LinkTo = L"secret.txt"},
      {.Name = "a file item on a link to a read-only file", .Payload = L"link-file-itself", .LinkAt = L"f.txt",
       .LinkTo = L"secret.txt", .ReadOnly = true},
      {.Name = "an anti-item on a file link", .Payload = L"link-anti-itself", .LinkAt = L"f.txt", .LinkTo = L"secret.txt"},
      // Nothing stands at a dangling link's target; a file or folder made
      // there would land outside.
      {.Name = "a file item on a dangling link", .Payload = L"link-file-itself", .LinkAt = L"f.txt", .LinkTo = L"none.txt"},
      {.Name = "a directory item on a dangling link", .Payload = L"link-folder-itself", .LinkAt = L"sub", .LinkTo = L"none"},
      {.Name = "a read-only hard link", .Payload = L"link-file-itself", .LinkAt = L"f.txt", .LinkTo = L"secret.txt",
       .Kind = Link::Hard, .ReadOnly = true},
      {.Name = "a hard link is replaced by a file of its own", .Payload = L"link-file-itself", .LinkAt = L"f.txt",
       .LinkTo = L"secret.txt", .Kind = Link::Hard, .Status = status::Ok, .ContentAtLink = "replaced"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    const testing_tools::TempFolder work;
    const std::wstring outside = work / L"outside";
    const std::wstring target = work / L"target";
    ASSERT_TRUE(CreateDirectoryW(outside.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((outside + L"\\dir").c_str(), nullptr));
    WriteWholeFile(outside + L"\\secret.txt", "secret");
    ASSERT_TRUE(CreateDirectoryW(target.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((target + L"\\a").c_str(), nullptr));
    const std::wstring linkTo = std::wstring(row.LinkTo).empty() ? outside : outside + L"\\" + row.LinkTo;
    const std::wstring linkAt = target + L"\\" + row.LinkAt;
    const bool made = row.Kind == Link::Hard ? testing_tools::MakeHardLink(linkTo, linkAt)
                                              : testing_tools::MakeSymbolicLink(linkTo, linkAt);
    if (!made) GTEST_SKIP() << "links are made on the Unix side under Wine";
    if (row.ReadOnly) {
      ASSERT_TRUE(SetFileAttributesW((outside + L"\\secret.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    }
    const auto before = ListFolder(outside);

    EXPECT_EQ(ExtractArchive(Payload((std::wstring(L"crafted-") + row.Payload + L".7z").c_str()), target), row.Status);
    EXPECT_TRUE(ListFolder(outside) == before) << "something outside the target changed";
    EXPECT_FALSE(Exists(outside + L"\\x.txt"));
    if (row.ContentAtLink) {
      EXPECT_EQ(ReadWholeFile(linkAt), row.ContentAtLink);
    }
    SetFileAttributesW((outside + L"\\secret.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

// A file that does not fit on the disk is removed, not left truncated under
// its real name. The small disk is a tmpfs mounted on the Unix side.
TEST(ExtractionOntoAFullDisk, LeavesNoPartialFile) {
  const testing_tools::TempFolder work;
  const std::wstring disk = work / L"disk";
  ASSERT_TRUE(CreateDirectoryW(disk.c_str(), nullptr));
  const std::wstring unixDisk = testing_tools::UnixPath(disk);
  const std::wstring mount = testing_tools::HostPathToWindows("/bin/mount");
  if (unixDisk.empty() || !testing_tools::RunUnix(mount, {L"-t", L"tmpfs", L"-o", L"size=64k", L"tmpfs", unixDisk})) {
    GTEST_SKIP() << "needs Wine and the right to mount a tmpfs";
  }
  const VMStatus result = ExtractArchive(Payload(L"crafted-large.7z"), disk + L"\\target");
  const bool partial = Exists(disk + L"\\target\\large.bin");
  (void)testing_tools::RunUnix(testing_tools::HostPathToWindows("/bin/umount"), {unixDisk});
  EXPECT_EQ(result, status::Failed);
  EXPECT_FALSE(partial) << "a truncated large.bin stayed behind";
}

// Payloads with deep dependency trees: every folder a directory item, the
// whole path (3,000 characters) far beyond MAX_PATH.
TEST(ExtractionOfDeepTrees, UnpacksEveryLevel) {
  const testing_tools::TempFolder work;
  const std::wstring target = work / L"target";
  ASSERT_EQ(ExtractArchive(Payload(L"crafted-deep.7z"), target), status::Ok);
  std::wstring leaf = L"\\\\?\\" + target;
  for (int level = 0; level < 300; ++level) leaf += L"\\abcdefghi";
  EXPECT_EQ(ReadWholeFile(leaf + L"\\leaf.txt"), "deep");
  // Folder by folder from the bottom: removing the tree recursively would
  // take a stack as deep as the tree.
  ASSERT_TRUE(DeleteFileW((leaf + L"\\leaf.txt").c_str()));
  for (std::wstring path = leaf; path.size() > 4 + target.size(); path.resize(path.size() - 10)) {
    ASSERT_TRUE(RemoveDirectoryW(path.c_str()));
  }
}

// What another program gets while an elevated run holds the file: only
// readers that share reading get in.
DWORD OpenError(const std::wstring& path, DWORD access, DWORD share) {
  const HANDLE file = CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr);
  const DWORD error = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return error;
}

// An elevated run unpacks into a new folder of the Windows temporary folder
// that only SYSTEM and the administrators may use, keeps each file locked
// until the clean-up, and the clean-up removes it all.
TEST_F(Extraction, ElevatedRunsFolderAndLockedFiles) {
  std::wstring folder;
  ASSERT_EQ(CreateElevatedFolder(folder), status::Ok);
  wchar_t windows[MAX_PATH] = {};
  GetSystemWindowsDirectoryW(windows, MAX_PATH);
  const std::wstring parent = std::wstring(windows) + L"\\Temp\\{";
  EXPECT_EQ(CompareStringOrdinal(folder.c_str(), static_cast<int>(parent.size()), parent.c_str(),
                                 static_cast<int>(parent.size()), TRUE), CSTR_EQUAL) << testing::PrintToString(folder);
  EXPECT_FALSE(CreateDirectoryW(folder.c_str(), nullptr)) << "the name is taken";

  // Windows keeps the descriptor the folder is made with (adding "AI" to the
  // flags). Wine 8 keeps none given at creation: it reports one made from the
  // Unix owner and mode, never protected, and only that is said then.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                  nullptr, nullptr, &descriptor), static_cast<DWORD>(ERROR_SUCCESS));
  LPWSTR text = nullptr;
  ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                                   DACL_SECURITY_INFORMATION, &text, nullptr));
  const std::wstring dacl = text;
  LocalFree(text);
  LocalFree(descriptor);
  if (dacl.starts_with(L"D:P")) {
    EXPECT_EQ(dacl.substr(dacl.find(L'(')), L"(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
  } else {
    std::printf("the folder's descriptor is not kept here: %S\n", dacl.c_str());
  }

  auto record = std::make_shared<ExtractionRecord>();
  record->AddFolder(folder);
  record->KeepFilesLocked = true;
  ASSERT_EQ(ExtractArchive(Payload(L"tree.7z"), folder, record.get()), status::Ok);
  const std::wstring file = folder + L"\\readme.txt";
  EXPECT_EQ(OpenError(file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE),
            static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << "overwrite";
  EXPECT_FALSE(MoveFileW(file.c_str(), (file + L".old").c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << "rename";
  EXPECT_FALSE(DeleteFileW(file.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << "delete";
  EXPECT_EQ(OpenError(file, GENERIC_READ, FILE_SHARE_READ), 0u) << "a reader such as msiexec";

  DeleteExtractedFiles cleanup;
  cleanup.TargetFolder = folder;
  cleanup.Record = record;
  std::uint32_t exitCode = 0;
  EXPECT_EQ(cleanup.run(exitCode), status::Ok);
  EXPECT_FALSE(Exists(folder));
}

// While the installer holds its own file, it cannot be renamed away,
// replaced or deleted: the elevated instance is started from, and reads, the
// file the user approved.
TEST(InstallerFile, CannotBeRenamedOrChangedWhileHeld) {
  InstallerFile self;
  ASSERT_EQ(self.Open(), status::Ok);
  const std::wstring moved = self.Path() + L".moved";
  const BOOL renamed = MoveFileW(self.Path().c_str(), moved.c_str());
  const DWORD renameError = GetLastError();
  if (renamed) MoveFileW(moved.c_str(), self.Path().c_str());
  EXPECT_FALSE(renamed);
  EXPECT_EQ(renameError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(OpenError(self.Path(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE),
            static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(OpenError(self.Path(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE),
            static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    testing_tools::PathArgument(argument, "payloads", g_payloads);
    testing_tools::PathArgument(argument, "handover", g_handOver);
    // One link fixture per prefix, so that both may run at once.
    if (argument.rfind("--links=", 0) == 0) {
      const char* prefix = std::getenv("VM_WINE_PREFIX");
      g_links = testing_tools::HostPathToWindows(argument.substr(8) + "/" + (prefix ? prefix : "win64"));
    }
  }
  if (g_payloads.empty() || g_handOver.empty()) {
    std::fprintf(stderr, "usage: extract_tests --payloads=FOLDER --handover=PROGRAM\n");
    return 2;
  }
  return RUN_ALL_TESTS();
}
