// SPDX-License-Identifier: Apache-2.0
// The crash dump as a user finds it, and the library planting it must resist:
// real processes that crash, beside a planted dbghelp.dll.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "support/vm_scope_exit.h"
#include "tests/tools/folder_listing.h"
#include "tests/tools/folder_tree.h"
#include "tests/tools/native_libraries.h"
#include "tests/tools/process_runner.h"
#include "tests/tools/temp_folder.h"

namespace {

std::wstring g_probe;
std::wstring g_plant;

constexpr wchar_t kMarker[] = L"dbghelp.dll-was-loaded.txt";
constexpr wchar_t kProbeName[] = L"vm-crash-probe.exe";

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring Env(const wchar_t* name) {
  wchar_t value[4096] = {};
  GetEnvironmentVariableW(name, value, 4096);
  return value;
}

// The local time as the dump's file name writes it: YYYYMMDDhhmmss.
std::wstring Stamp() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  wchar_t text[16] = {};
  swprintf(text, 16, L"%04u%02u%02u%02u%02u%02u", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
           now.wSecond);
  return text;
}

// The stamp `seconds` after the local time `start`.
std::wstring StampAfter(const SYSTEMTIME& start, unsigned seconds) {
  FILETIME time{};
  SystemTimeToFileTime(&start, &time);
  ULARGE_INTEGER value{{time.dwLowDateTime, time.dwHighDateTime}};
  value.QuadPart += ULONGLONG{seconds} * 10000000;
  time = {value.LowPart, value.HighPart};
  SYSTEMTIME later{};
  FileTimeToSystemTime(&time, &later);
  wchar_t text[16] = {};
  swprintf(text, 16, L"%04u%02u%02u%02u%02u%02u", later.wYear, later.wMonth, later.wDay, later.wHour, later.wMinute,
           later.wSecond);
  return text;
}

std::vector<std::wstring> Dumps(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found{};
  const HANDLE find = FindFirstFileW((folder + L"\\*.dmp").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do names.push_back(found.cFileName);
  while (FindNextFileW(find, &found));
  FindClose(find);
  return names;
}

std::string FirstBytes(const std::wstring& path, DWORD count) {
  std::string bytes(count, '\0');
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  DWORD read = 0;
  ReadFile(file, bytes.data(), count, &read, nullptr);
  CloseHandle(file);
  bytes.resize(read);
  return bytes;
}

// A download folder: the probe program with a dbghelp.dll planted beside it.
// The probe's temporary folder is a chain of folders that does not exist yet.
class CrashDump : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.Path().empty());
    probe_ = folder_.Path() + L"\\" + kProbeName;
    ASSERT_TRUE(CopyFileW(g_probe.c_str(), probe_.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(g_plant.c_str(), (folder_.Path() + L"\\dbghelp.dll").c_str(), FALSE));
    dumpFolder_ = folder_.Path() + L"\\temp\\not\\there\\yet";
    // Wine would otherwise take its own dbghelp for the probe, whatever lies
    // beside it.
    overrides_.emplace(kProbeName, std::vector<std::wstring>{L"dbghelp.dll"});
    ASSERT_TRUE(overrides_->Ok());
    savedTemp_ = Env(L"TEMP");
    SetEnvironmentVariableW(L"TEMP", dumpFolder_.c_str());
  }
  void TearDown() override {
    SetEnvironmentVariableW(L"TEMP", savedTemp_.c_str());
    overrides_.reset();
  }

  testing_tools::ProgramResult Run(const std::wstring& mode) {
    // Writing a full-memory dump takes a minute or more under the emulator.
    auto result = testing_tools::RunProgram(L"\"" + probe_ + L"\" " + mode, folder_.Path(), 300000);
    EXPECT_EQ(result.StartError, 0u);
    EXPECT_FALSE(result.TimedOut);
    return result;
  }

  const testing_tools::TempFolder folder_{L"vm-crash-"};
  std::wstring probe_;
  std::wstring dumpFolder_;
  std::wstring savedTemp_;
  std::optional<testing_tools::PreferNativeLibraries> overrides_;
};

TEST_F(CrashDump, ThePlantIsLiveBareNameLoadingPicksItUp) {
  // Without this the other tests could pass merely because nothing would
  // ever load the plant.
  const auto result = Run(L"plain-load");
  EXPECT_EQ(result.ExitCode, 0u);
  EXPECT_TRUE(Exists(folder_.Path() + L"\\" + kMarker));
}

TEST_F(CrashDump, ACrashLeavesAFullDumpInTheTemporaryFolderAndIgnoresThePlant) {
  wchar_t windows[MAX_PATH] = {};
  ASSERT_GT(GetSystemWindowsDirectoryW(windows, MAX_PATH), 0u);
  const std::wstring windowsTemp = std::wstring(windows) + L"\\Temp";
  const std::wstring missing = folder_.Path() + L"\\missing\\dumps";
  struct Row {
    const char* Name;
    std::wstring Mode;
    std::wstring DumpIn = {};  // empty: none anywhere
  };
  const Row rows[] = {
      {.Name = "set up as the stub's entry point does", .Mode = L"crash", .DumpIn = dumpFolder_},
      {.Name = "the filter alone, with the process's DLL search left as it was", .Mode = L"crash-unrestricted",
       .DumpIn = dumpFolder_},
      {.Name = "the elevated instance: into the Windows temporary folder, never the user's %TEMP%",
       .Mode = L"crash-elevated", .DumpIn = windowsTemp},
      {.Name = "a folder that is missing is not made, and there is no dump",
       .Mode = L"crash-into \"" + missing + L"\""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    testing_tools::RemoveTree(folder_.Path() + L"\\temp");
    const std::vector<std::wstring> earlier = row.DumpIn.empty() ? std::vector<std::wstring>{} : Dumps(row.DumpIn);
    const std::wstring before = Stamp();
    const auto result = Run(row.Mode);
    const std::wstring after = Stamp();

    // The fault's own code (QEMU's emulation reports an illegal instruction
    // where a machine reports an access violation); 4 or 5 would mean the
    // filter changed how the crash proceeds or was not installed.
    EXPECT_GE(result.ExitCode, 0xC0000000u) << std::hex << result.ExitCode;
    EXPECT_FALSE(Exists(folder_.Path() + L"\\" + kMarker)) << "the planted dbghelp.dll was loaded";
    if (row.DumpIn != dumpFolder_) {
      EXPECT_FALSE(Exists(dumpFolder_)) << "nothing in %TEMP%, not even its folders";
    }
    if (row.DumpIn.empty()) {
      EXPECT_FALSE(Exists(folder_.Path() + L"\\missing"));
      continue;
    }
    std::vector<std::wstring> dumps;
    for (const std::wstring& name : Dumps(row.DumpIn)) {
      if (std::find(earlier.begin(), earlier.end(), name) == earlier.end()) dumps.push_back(name);
    }
    ASSERT_EQ(dumps.size(), 1u) << "one dump, in the expanded %TEMP% with its missing folders created";
    const std::wstring& name = dumps[0];
    // Only the run's own dump goes from a folder the test did not make.
    const velmora::VMScopeExit removeDump([&] { DeleteFileW((row.DumpIn + L"\\" + name).c_str()); });
    const std::wstring prefix = L"vm-sfxstub_";
    ASSERT_EQ(name.size(), prefix.size() + 14 + 4);
    EXPECT_EQ(name.substr(0, prefix.size()), prefix);
    const std::wstring stamp = name.substr(prefix.size(), 14);
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, after);
    EXPECT_EQ(name.substr(prefix.size() + 14), L".dmp");
    EXPECT_EQ(FirstBytes(row.DumpIn + L"\\" + name, 4), "MDMP");
  }
}

// Someone who can write to the temporary folder knows the dump's name in
// advance; a file left there under every name of the next ten minutes keeps
// its content, and the dump goes into a new file beside it.
TEST_F(CrashDump, ANameTakenInAdvanceIsNotWrittenThrough) {
  ASSERT_TRUE(CreateDirectoryW((folder_ / L"temp").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((folder_ / L"temp\\not").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((folder_ / L"temp\\not\\there").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(dumpFolder_.c_str(), nullptr));
  SYSTEMTIME start{};
  GetLocalTime(&start);
  std::vector<std::wstring> taken;
  for (unsigned second = 0; second < 600; ++second) {
    taken.push_back(L"vm-sfxstub_" + StampAfter(start, second) + L".dmp");
    testing_tools::WriteWholeFile(dumpFolder_ + L"\\" + taken.back(), "precious");
  }
  const auto result = Run(L"crash");
  EXPECT_GE(result.ExitCode, 0xC0000000u) << std::hex << result.ExitCode;
  for (const std::wstring& name : taken) {
    ASSERT_EQ(testing_tools::ReadWholeFile(dumpFolder_ + L"\\" + name), "precious") << "written through";
  }
  std::wstring dump;
  for (const std::wstring& name : Dumps(dumpFolder_)) {
    if (name.ends_with(L"_2.dmp")) dump = name;
  }
  ASSERT_FALSE(dump.empty()) << "the dump goes to the next free name";
  EXPECT_EQ(FirstBytes(dumpFolder_ + L"\\" + dump, 4), "MDMP");
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    testing_tools::PathArgument(argument, "probe", g_probe);
    testing_tools::PathArgument(argument, "plant", g_plant);
  }
  if (g_probe.empty() || g_plant.empty()) {
    std::fprintf(stderr, "usage: crash_dump_tests --probe=PATH --plant=PATH\n");
    return 2;
  }
  return RUN_ALL_TESTS();
}
