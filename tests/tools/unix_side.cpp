// SPDX-License-Identifier: Apache-2.0
#include "tests/tools/unix_side.h"

#include <windows.h>

#include <objbase.h>

#include "tests/tools/folder_listing.h"
#include "tests/tools/process_runner.h"

namespace testing_tools {

std::wstring UnixPath(const std::wstring& windowsPath) {
  using UnixFileName = char*(CDECL*)(const wchar_t*);
  const auto convert = reinterpret_cast<UnixFileName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (convert == nullptr) return {};
  char* path = convert(windowsPath.c_str());
  if (path == nullptr) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, path, -1, nullptr, 0);
  std::wstring wide(size > 0 ? size - 1 : 0, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, path, -1, wide.data(), size);
  HeapFree(GetProcessHeap(), 0, path);
  return wide;
}

bool RunUnix(const std::wstring& program, const std::vector<std::wstring>& arguments) {
  // Wine neither waits for a Unix process nor reports its exit code, so the
  // command leaves its result in a file of its own, which is waited for.
  wchar_t temp[MAX_PATH + 1] = {};
  GUID guid{};
  wchar_t name[40] = {};
  if (GetTempPathW(MAX_PATH + 1, temp) == 0 || FAILED(CoCreateGuid(&guid)) || StringFromGUID2(guid, name, 40) == 0) {
    return false;
  }
  const std::wstring marker = std::wstring(temp) + L"vmstub-unix-" + std::wstring(name + 1, 36);
  const std::wstring unixProgram = UnixPath(program);
  const std::wstring unixMarker = UnixPath(marker);
  if (unixProgram.empty() || unixMarker.empty()) return false;
  std::wstring script = L"'" + unixProgram + L"'";
  for (const std::wstring& argument : arguments) script += L" '" + argument + L"'";
  script += L" && echo 0 > '" + unixMarker + L"' || echo 1 > '" + unixMarker + L"'";
  const ProgramResult started = RunProgram(L"\"" + HostPathToWindows("/bin/sh") + L"\" -c \"" + script + L"\"", L"", 60000);
  if (started.StartError != 0) return false;
  std::string result;
  // Generous: packing a large tree takes minutes on a slow machine.
  for (int wait = 0; wait < 12000 && result.empty(); ++wait) {
    if (GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES) result = ReadWholeFile(marker);
    if (result.empty()) Sleep(50);
  }
  DeleteFileW(marker.c_str());
  return result.rfind("0", 0) == 0;
}

bool MakeSymbolicLink(const std::wstring& target, const std::wstring& link) {
  const std::wstring from = UnixPath(target);
  const std::wstring to = UnixPath(link);
  return !from.empty() && !to.empty() && RunUnix(HostPathToWindows("/bin/ln"), {L"-sfn", from, to});
}

bool MakeHardLink(const std::wstring& existing, const std::wstring& link) {
  const std::wstring from = UnixPath(existing);
  const std::wstring to = UnixPath(link);
  return !from.empty() && !to.empty() && RunUnix(HostPathToWindows("/bin/ln"), {from, to});
}

TmpfsMount::TmpfsMount(const std::wstring& folder, const std::wstring& options) {
  const std::wstring unixFolder = UnixPath(folder);
  if (!unixFolder.empty() &&
      RunUnix(HostPathToWindows("/bin/mount"), {L"-t", L"tmpfs", L"-o", options, L"tmpfs", unixFolder})) {
    unixFolder_ = unixFolder;
  }
}

TmpfsMount::~TmpfsMount() {
  // Lazily, so that a program still inside cannot keep the mount alive.
  if (!unixFolder_.empty()) (void)RunUnix(HostPathToWindows("/bin/umount"), {L"-l", unixFolder_});
}

}  // namespace testing_tools
