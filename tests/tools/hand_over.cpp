// SPDX-License-Identifier: Apache-2.0
// handover EXITCODE RESULT [GATE]
//
// A program that hands its work to a helper and ends at once, as
// bootstrappers do: it starts itself again, detached, as the helper, puts the
// helper's process id into RESULT.pid and exits with EXITCODE. The helper
// waits until its starter has ended, writes "waiting" into RESULT, waits
// until the file GATE exists (when given), and then puts the text of
// readme.txt in its working folder into RESULT, or "missing" when it cannot
// read it. Every wait ends after two minutes.
#include <windows.h>

#include <cwchar>
#include <fstream>
#include <sstream>
#include <string>

namespace {

constexpr DWORD kBoundMs = 120000;

// Each text replaces the previous one whole, so a reader never sees half of
// it. The test reads RESULT while the helper may be replacing it, and a file
// cannot be replaced while the reader has it open (the test opens it without
// delete sharing, and Wine refuses to replace any open file). The reader
// closes it within moments, so the replacement is tried again until it goes
// through; a text that never could stays in the ".part" file.
void Put(const std::wstring& path, const std::string& text) {
  const std::wstring part = path + L".part";
  std::ofstream(part.c_str(), std::ios::binary) << text;
  for (DWORD waited = 0; !MoveFileExW(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) && waited < kBoundMs;
       waited += 20) {
    Sleep(20);
  }
}

int Helper(DWORD starter, const std::wstring& result, const wchar_t* gate) {
  if (HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, starter)) {
    WaitForSingleObject(process, kBoundMs);
    CloseHandle(process);
  }
  Put(result, "waiting");
  for (DWORD waited = 0; gate != nullptr && GetFileAttributesW(gate) == INVALID_FILE_ATTRIBUTES && waited < kBoundMs;
       waited += 20) {
    Sleep(20);
  }
  std::ifstream readme("readme.txt", std::ios::binary);
  std::ostringstream text;
  text << readme.rdbuf();
  Put(result, readme ? text.str() : std::string("missing"));
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 4 && std::wcscmp(argv[1], L"--helper") == 0) {
    return Helper(std::wcstoul(argv[2], nullptr, 10), argv[3], argc > 4 ? argv[4] : nullptr);
  }
  if (argc < 3) return 2;
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring line = L"\"" + std::wstring(self) + L"\" --helper " + std::to_wstring(GetCurrentProcessId()) +
                      L" \"" + argv[2] + L"\"";
  if (argc > 3) line += L" \"" + std::wstring(argv[3]) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &startup,
                      &started)) {
    return 1;
  }
  // Written before this program ends, so whoever waits for it can tell
  // afterwards whether the helper still runs.
  Put(std::wstring(argv[2]) + L".pid", std::to_string(started.dwProcessId));
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  return static_cast<int>(std::wcstoul(argv[1], nullptr, 10));
}
