// SPDX-License-Identifier: Apache-2.0
// Path values and default target folders against the real Windows folders
// and environment of both machines.
#include <gtest/gtest.h>

#include <windows.h>

#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>

#include "config/known_folder.h"
#include "config/target_path.h"
#include "support/vm_win_guid.h"
#include "tests/tools/temp_folder.h"

namespace {

using velmora::VMStatus;

constexpr VMStatus kInvalidConfiguration = 0xEE000051;

bool OnX86Machine() {
  char prefix[16] = {};
  GetEnvironmentVariableA("VM_WINE_PREFIX", prefix, sizeof(prefix));
  return std::string(prefix) == "win32";
}

std::wstring Env(const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  GetEnvironmentVariableW(name, value, MAX_PATH);
  return value;
}

std::wstring KnownFolder(const GUID& id) {
  PWSTR path = nullptr;
  std::wstring result;
  if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path))) result = path;
  CoTaskMemFree(path);
  return result;
}

TEST(ResolvePathValue, Table) {
  const std::wstring programFiles = Env(OnX86Machine() ? L"ProgramFiles" : L"ProgramW6432");
  ASSERT_FALSE(programFiles.empty());
  struct Row {
    const char* Name;
    std::wstring Value;
    VMStatus Status = 0;
    std::wstring Expected = {};
  };
  const Row rows[] = {
      {.Name = "PROGRAM_FILES is the machine's own program folder",
       .Value = L"${PROGRAM_FILES}\\Vendor\\App",
       .Expected = programFiles + L"\\Vendor\\App"},
      {.Name = "a known folder with nothing after the brace",
       .Value = L"${FOLDERID_LocalAppData}",
       .Expected = KnownFolder(FOLDERID_LocalAppData)},
      {.Name = "a known folder followed by a path",
       .Value = L"${FOLDERID_Desktop}\\%NO_SUCH_VARIABLE%",
       .Expected = KnownFolder(FOLDERID_Desktop) + L"\\%NO_SUCH_VARIABLE%"},
      {.Name = "names match with their letter case", .Value = L"${FOLDERID_localappdata}",
       .Status = kInvalidConfiguration},
      {.Name = "no closing brace", .Value = L"${PROGRAM_FILES", .Status = kInvalidConfiguration},
      {.Name = "no name", .Value = L"${}", .Status = kInvalidConfiguration},
      {.Name = "the prefix alone is no name", .Value = L"${FOLDERID_}\\x", .Status = kInvalidConfiguration},
      {.Name = "a reference not at the start stays",
       .Value = L"C:\\Data\\${FOLDERID_Desktop}",
       .Expected = L"C:\\Data\\${FOLDERID_Desktop}"},
      {.Name = "environment references expand", .Value = L"%TEMP%\\Unpacked", .Expected = Env(L"TEMP") + L"\\Unpacked"},
      {.Name = "unknown variables stay", .Value = L"%NO_SUCH_VARIABLE%\\x", .Expected = L"%NO_SUCH_VARIABLE%\\x"},
      {.Name = "a bare program name stays bare", .Value = L"msiexec.exe", .Expected = L"msiexec.exe"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    std::wstring resolved = L"stale";
    EXPECT_EQ(ResolvePathValue(row.Value, resolved), row.Status);
    EXPECT_EQ(resolved, row.Status == 0 ? row.Expected : L"");
  }
}

TEST(ResolvePathValue, ProgramFilesIsNotThe32BitFolderUnderWow64) {
  if (OnX86Machine()) GTEST_SKIP() << "an x86 machine has one program folder";
  std::wstring resolved;
  ASSERT_EQ(ResolvePathValue(L"${PROGRAM_FILES}", resolved), 0u);
  EXPECT_NE(resolved, Env(L"ProgramFiles"));
}

TEST(ResolvePathValue, AKnownFolderIsCreatedWhenMissing) {
  // The library folder does not exist in a fresh profile.
  const std::wstring expected = KnownFolder(FOLDERID_LocalAppDataLow);
  RemoveDirectoryW(expected.c_str());
  std::wstring resolved;
  ASSERT_EQ(ResolvePathValue(L"${FOLDERID_LocalAppDataLow}", resolved), 0u);
  EXPECT_NE(GetFileAttributesW(resolved.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(FindKnownFolderId, NamesMapToTheIdentifiersOfTheSameName) {
  struct Row {
    const wchar_t* Name;
    const wchar_t* Id;  // as Windows publishes it; nullptr: no such name
  };
  const Row rows[] = {
      {L"FOLDERID_NetworkFolder", L"{D20BEEC4-5CA8-4905-AE3B-BF251EA09B53}"},
      {L"FOLDERID_LocalAppData", L"{F1B32785-6FBA-4FCF-9D55-7B8E7F157091}"},
      {L"FOLDERID_ProgramFilesX64", L"{6D809377-6AF0-444B-8957-A3773F02200E}"},
      {L"FOLDERID_SkyDrive", L"{A52BBA46-E9E1-435F-B3D9-28DAA648C0F6}"},
      {L"FOLDERID_OneDrive", L"{A52BBA46-E9E1-435F-B3D9-28DAA648C0F6}"},
      {L"FOLDERID_AppDataProgramData", L"{559D40A3-A036-40FA-AF61-84CB430A4D34}"},
      {L"FOLDERID_localappdata", nullptr},
      {L"LocalAppData", nullptr},
      {L"FOLDERID_", nullptr},
      {L"FOLDERID_LocalAppData ", nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.Name, row.Name + wcslen(row.Name)));
    const GUID* id = FindKnownFolderId(row.Name);
    if (row.Id == nullptr) {
      EXPECT_EQ(id, nullptr);
    } else {
      ASSERT_NE(id, nullptr);
      EXPECT_EQ(velmora::VMWinGuidToString(*id), row.Id);
    }
  }
  EXPECT_EQ(FindKnownFolderId(std::wstring(L"FOLDERID_Fonts\0x", 16)), nullptr) << "embedded zero";
}

// Runs in a known working directory and restores the old one.
class InWorkingDirectory : public ::testing::Test {
 protected:
  void SetUp() override {
    GetCurrentDirectoryW(MAX_PATH, saved_);
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    windows_ = windows;  // "C:\windows"
    ASSERT_TRUE(SetCurrentDirectoryW(windows));
  }
  void TearDown() override { SetCurrentDirectoryW(saved_); }

  wchar_t saved_[MAX_PATH] = {};
  std::wstring windows_;
};

TEST_F(InWorkingDirectory, MakeAbsolutePathTable) {
  const std::wstring rest = windows_.substr(2);  // "\windows"
  struct Row {
    const char* Name;
    std::wstring Path;
    std::wstring Expected;
  };
  const Row rows[] = {
      {.Name = "relative", .Path = L"Output", .Expected = windows_ + L"\\Output"},
      {.Name = "a dot element stays", .Path = L".\\Output", .Expected = windows_ + L"\\.\\Output"},
      {.Name = "a dot-dot element stays", .Path = L"..\\Output", .Expected = windows_ + L"\\..\\Output"},
      {.Name = "root directory only: the drive of the working directory", .Path = L"\\Output",
       .Expected = L"C:\\Output"},
      {.Name = "drive only: the folders of the working directory on that drive", .Path = L"D:Output",
       .Expected = L"D:" + rest + L"\\Output"},
      {.Name = "absolute stays", .Path = L"C:\\abs", .Expected = L"C:\\abs"},
      {.Name = "UNC stays", .Path = L"\\\\server\\share\\dir", .Expected = L"\\\\server\\share\\dir"},
      {.Name = "a share root stays", .Path = L"\\\\server\\share", .Expected = L"\\\\server\\share"},
      {.Name = "a server alone stays", .Path = L"\\\\server", .Expected = L"\\\\server"},
      {.Name = "a server with a separator stays", .Path = L"\\\\server\\", .Expected = L"\\\\server\\"},
      {.Name = "forward slashes count as separators", .Path = L"C:/abs/x", .Expected = L"C:/abs/x"},
      {.Name = "empty is the working directory", .Path = L"", .Expected = windows_},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    std::wstring absolute;
    EXPECT_EQ(MakeAbsolutePath(row.Path, absolute), 0u);
    EXPECT_EQ(absolute, row.Expected);
  }
}

TEST_F(InWorkingDirectory, ExtractDefaultIsTheWorkingDirectory) {
  const testing_tools::TempFolder work;
  ASSERT_TRUE(SetCurrentDirectoryW(work.Path().c_str()));
  std::wstring path;
  ASSERT_EQ(GetExtractDefaultTargetPath(path), 0u);
  EXPECT_EQ(path, work.Path());
  ASSERT_TRUE(SetCurrentDirectoryW(L"C:\\"));
  ASSERT_EQ(GetExtractDefaultTargetPath(path), 0u);
  EXPECT_EQ(path, L"C:\\");
}

// Started elevated, an installer's working directory is the system folder:
// it unpacks beside itself instead.
TEST_F(InWorkingDirectory, ExtractDefaultIsTheInstallerFolderInTheWindowsFolder) {
  wchar_t self[MAX_PATH] = {};
  ASSERT_NE(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  const std::wstring ownFolder(self, std::wstring(self).find_last_of(L'\\'));
  wchar_t windows[MAX_PATH] = {};
  ASSERT_NE(GetSystemWindowsDirectoryW(windows, MAX_PATH), 0u);
  wchar_t system[MAX_PATH] = {};
  ASSERT_NE(GetSystemDirectoryW(system, MAX_PATH), 0u);
  std::wstring lower = system;
  for (wchar_t& c : lower) c = static_cast<wchar_t>(towlower(c));
  struct Row {
    const char* Name;
    std::wstring Directory;
  };
  const Row rows[] = {
      {"the Windows folder", windows},
      {"the system folder", system},
      {"the system folder in other letter case", lower},
      {"the system folder with a closing separator", std::wstring(system) + L"\\"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    ASSERT_TRUE(SetCurrentDirectoryW(row.Directory.c_str()));
    std::wstring path;
    ASSERT_EQ(GetExtractDefaultTargetPath(path), 0u);
    EXPECT_EQ(path, ownFolder);
  }
}

bool IsGuidText(const std::wstring& text) {
  if (text.size() != 38 || text.front() != L'{' || text.back() != L'}') return false;
  for (std::size_t i = 1; i < 37; ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    const wchar_t c = text[i];
    if (dash ? c != L'-' : !((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F'))) return false;
  }
  return true;
}

TEST(LaunchDefaultTargetPath, AFreshGuidFolderUnderTheTemporaryFolderEachTime) {
  wchar_t temp[MAX_PATH + 1] = {};
  const std::wstring tempFolder(temp, GetTempPathW(MAX_PATH + 1, temp));
  std::wstring first;
  std::wstring second;
  ASSERT_EQ(GetLaunchDefaultTargetPath(first), 0u);
  ASSERT_EQ(GetLaunchDefaultTargetPath(second), 0u);
  EXPECT_NE(first, second);
  for (const std::wstring& path : {first, second}) {
    ASSERT_EQ(path.substr(0, tempFolder.size()), tempFolder);
    EXPECT_TRUE(IsGuidText(path.substr(tempFolder.size()))) << std::string(path.begin(), path.end());
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES) << "nothing is created";
  }
}

}  // namespace
