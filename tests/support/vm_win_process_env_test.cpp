// SPDX-License-Identifier: Apache-2.0
// The process environment helpers against the real machine Wine presents:
// the 64-bit prefix is an x64 machine running this 32-bit program under
// WOW64, the 32-bit prefix an x86 machine running it natively.
#include <gtest/gtest.h>

#include <windows.h>

#include <process.h>

#include <string>
#include <vector>

#include "support/vm_trace.h"
#include "support/vm_win_architecture.h"
#include "support/vm_win_environment.h"
#include "support/vm_win_guid.h"
#include "support/vm_win_long_path.h"
#include "support/vm_win_module_file_name.h"
#include "support/vm_win_system_library.h"
#include "support/vm_win_wow64_fs_redirection.h"

namespace {

using velmora::ProcessorArchitecture;
using velmora::VMStatus;

bool OnX86Machine() {
  char prefix[16] = {};
  GetEnvironmentVariableA("VM_WINE_PREFIX", prefix, sizeof(prefix));
  return std::string(prefix) == "win32";
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

TEST(ProcessEnvironment, ArchitectureAndNativenessFollowTheMachine) {
  bool native = false;
  ASSERT_EQ(velmora::VMWinIsNativeProcess(GetCurrentProcess(), native), 0u);
  if (OnX86Machine()) {
    EXPECT_EQ(velmora::VMWinGetNativeArchitecture(), ProcessorArchitecture::X86);
    EXPECT_TRUE(native);
  } else {
    EXPECT_EQ(velmora::VMWinGetNativeArchitecture(), ProcessorArchitecture::X64);
    EXPECT_FALSE(native);
  }
}

// A file in the real system folder, put there with redirection off.
struct RedirectionProbe {
  std::wstring Path;
  bool NeededSwitch = false;
  bool SeenFromWorker = false;
  VMStatus Status = 0;
};

unsigned __stdcall WorkerLooksAtSystemFolder(void* context) {
  auto& probe = *static_cast<RedirectionProbe*>(context);
  velmora::VMWinWow64FsRedirection redirection;
  probe.Status = redirection.Status();
  probe.NeededSwitch = redirection.IsNeeded();
  if (probe.Path.empty()) {
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    probe.Path = std::wstring(system) + L"\\vm-redirection-probe-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    const HANDLE file = CreateFileW(probe.Path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
  probe.SeenFromWorker = Exists(probe.Path);
  return 0;
}

unsigned __stdcall WorkerDeletesProbe(void* context) {
  velmora::VMWinWow64FsRedirection redirection;
  DeleteFileW(static_cast<RedirectionProbe*>(context)->Path.c_str());
  return 0;
}

void RunOnThread(unsigned(__stdcall* procedure)(void*), RedirectionProbe& probe) {
  const auto thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, procedure, &probe, 0, nullptr));
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}

TEST(ProcessEnvironment, RedirectionIsOffForTheWorkerThreadOnly) {
  RedirectionProbe probe;
  RunOnThread(&WorkerLooksAtSystemFolder, probe);
  ASSERT_EQ(probe.Status, 0u);
  EXPECT_TRUE(probe.SeenFromWorker);
  if (OnX86Machine()) {
    EXPECT_FALSE(probe.NeededSwitch);
    EXPECT_TRUE(Exists(probe.Path)) << "one system folder, seen alike by every thread";
  } else {
    EXPECT_TRUE(probe.NeededSwitch);
    EXPECT_FALSE(Exists(probe.Path)) << "this thread still sees the 32-bit system folder";
  }
  // The switch is restored when its owner ends: the same thread, used again,
  // would otherwise keep seeing the real folder.
  RunOnThread(&WorkerDeletesProbe, probe);
  RedirectionProbe after{.Path = probe.Path};
  RunOnThread(&WorkerLooksAtSystemFolder, after);
  EXPECT_FALSE(after.SeenFromWorker);
}

std::vector<std::string> g_traced;
void Collect(const char* line) { g_traced.push_back(line); }

TEST(ModuleFileName, SplitsTheProgramsOwnPath) {
  velmora::VMWinModuleFileName self;
  ASSERT_EQ(self.InitWithModuleHandle(), 0u);
  EXPECT_EQ(self.FileName, L"support_tests");
  EXPECT_EQ(self.Extension, L".exe");
  EXPECT_EQ(self.Drive + self.Directory + self.FileName + self.Extension, self.FullPath);
}

TEST(ModuleFileName, SplitTable) {
  struct Row {
    const char* Name;
    std::wstring Path;
    VMStatus Status = 0;
    std::wstring Drive = {};
    std::wstring Directory = {};
    std::wstring FileName = {};
    std::wstring Extension = {};
  };
  const std::wstring longFolder = L"C:\\" + std::wstring(253, L'd') + L"\\";  // 255 characters
  const Row rows[] = {
      {.Name = "drive path", .Path = L"C:\\Downloads\\setup.x64.exe", .Drive = L"C:", .Directory = L"\\Downloads\\",
       .FileName = L"setup.x64", .Extension = L".exe"},
      {.Name = "UNC path has no drive", .Path = L"\\\\server\\share\\setup.exe", .Directory = L"\\\\server\\share\\",
       .FileName = L"setup", .Extension = L".exe"},
      {.Name = "a directory of 255 characters still fits", .Path = longFolder + L"a.exe", .Drive = L"C:",
       .Directory = longFolder.substr(2), .FileName = L"a", .Extension = L".exe"},
      {.Name = "a directory beyond 255 characters is a range error",
       .Path = L"C:\\" + std::wstring(300, L'd') + L"\\a.exe", .Status = 0xE0010022},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    velmora::VMWinModuleFileName name;
    name.FullPath = row.Path;
    EXPECT_EQ(name.InitPathComponents(), row.Status);
    if (row.Status != 0) continue;
    EXPECT_EQ(name.Drive, row.Drive);
    EXPECT_EQ(name.Directory, row.Directory);
    EXPECT_EQ(name.FileName, row.FileName);
    EXPECT_EQ(name.Extension, row.Extension);
  }
}

TEST(ModuleFileName, AFailedSplitIsTracedAndLongLinesAreCut) {
  const std::string folder(300, 'd');
  velmora::VMWinModuleFileName name;
  name.FullPath = L"C:\\" + std::wstring(folder.begin(), folder.end()) + L"\\a.exe";
  g_traced.clear();
  velmora::VMSetTraceSink(&Collect);
  EXPECT_EQ(name.InitPathComponents(), 0xE0010022u);
  velmora::VMTrace("%s", std::string(600, 'x').c_str());
  velmora::VMSetTraceSink(nullptr);
  ASSERT_EQ(g_traced.size(), 2u);
  EXPECT_EQ(g_traced[0], "ERROR: InitPathComponents: _wsplitpath_s(C:\\" + folder + "\\a.exe) failed, err=34\n");
  EXPECT_EQ(g_traced[1], std::string(511, 'x'));
}

TEST(ProcessEnvironment, ExpandEnvironmentStrings) {
  wchar_t temp[MAX_PATH] = {};
  GetEnvironmentVariableW(L"TEMP", temp, MAX_PATH);
  struct Row {
    const char* Name;
    std::wstring Text;
    std::wstring Expected;
  };
  const Row rows[] = {
      {.Name = "a variable is replaced", .Text = L"%TEMP%\\Unpacked", .Expected = std::wstring(temp) + L"\\Unpacked"},
      {.Name = "an unknown variable stays", .Text = L"%NO_SUCH_VARIABLE%\\x", .Expected = L"%NO_SUCH_VARIABLE%\\x"},
      {.Name = "a lone percent sign stays", .Text = L"100% sure", .Expected = L"100% sure"},
      {.Name = "empty text", .Text = L"", .Expected = L""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    std::wstring result = L"stale";
    EXPECT_EQ(velmora::VMWinExpandEnvironmentStrings(row.Text, result), 0u);
    EXPECT_EQ(result, row.Expected);
  }
}

// The path the elevated instance is started by: the long form a handle's
// final path comes in, made plain only where the plain path names the same
// file.
TEST(ProcessEnvironment, PlainPathWherePossible) {
  const std::wstring deep = L"C:\\" + std::wstring(300, L'd') + L"\\setup.exe";
  struct Row {
    const char* Name;
    std::wstring Path;
    std::wstring Expected;
  };
  const Row rows[] = {
      {.Name = "a drive path", .Path = L"\\\\?\\C:\\Downloads\\setup.exe", .Expected = L"C:\\Downloads\\setup.exe"},
      {.Name = "a share", .Path = L"\\\\?\\UNC\\server\\share\\setup.exe", .Expected = L"\\\\server\\share\\setup.exe"},
      {.Name = "too long for a plain path", .Path = L"\\\\?\\" + deep, .Expected = L"\\\\?\\" + deep},
      {.Name = "a folder whose name ends in a dot, which a plain path loses",
       .Path = L"\\\\?\\C:\\x.\\setup.exe", .Expected = L"\\\\?\\C:\\x.\\setup.exe"},
      {.Name = "a device name", .Path = L"\\\\?\\C:\\x\\con", .Expected = L"\\\\?\\C:\\x\\con"},
      {.Name = "a volume without a drive letter",
       .Path = L"\\\\?\\Volume{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}\\setup.exe",
       .Expected = L"\\\\?\\Volume{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}\\setup.exe"},
      {.Name = "already plain", .Path = L"C:\\setup.exe", .Expected = L"C:\\setup.exe"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    EXPECT_EQ(velmora::VMWinPlainPathWherePossible(row.Path), row.Expected);
  }
}

TEST(ProcessEnvironment, GuidInRegistryForm) {
  const GUID guid = {0x0F1E2D3C, 0x4B5A, 0x6978, {0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0xE1, 0xF0}};
  EXPECT_EQ(velmora::VMWinGuidToString(guid), L"{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}");
}

TEST(SystemLibrary, ComesFromTheSystemFolderOfThisArchitecture) {
  velmora::VMUniqueModule dbghelp;
  ASSERT_EQ(velmora::VMWinLoadSystemLibrary(L"dbghelp.dll", dbghelp), 0u);
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(dbghelp.get(), path, MAX_PATH);
  std::wstring folder = path;
  folder.erase(folder.find_last_of(L'\\'));
  wchar_t expected[MAX_PATH] = {};
  if (OnX86Machine()) {
    GetSystemDirectoryW(expected, MAX_PATH);
  } else {
    GetSystemWow64DirectoryW(expected, MAX_PATH);
  }
  EXPECT_EQ(CompareStringOrdinal(folder.c_str(), -1, expected, -1, TRUE), CSTR_EQUAL)
      << std::string(folder.begin(), folder.end());

  velmora::VMUniqueModule missing;
  EXPECT_EQ(velmora::VMWinLoadSystemLibrary(L"vm-no-such-library.dll", missing), static_cast<VMStatus>(ERROR_MOD_NOT_FOUND));
}

}  // namespace
