// SPDX-License-Identifier: Apache-2.0
#include "tests/tools/process_runner.h"

#include <psapi.h>

#include <algorithm>
#include <memory>

#include "tests/tools/window_driver.h"

namespace testing_tools {
namespace {

// The message box's text control has this id on Windows and on Wine alike.
constexpr int kMessageBoxTextId = 0xFFFF;

struct Search {
  DWORD ProcessId;
  std::vector<HWND> Boxes;
};

BOOL CALLBACK CollectMessageBoxes(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<Search*>(context);
  if (IsVisibleDialogOf(window, search->ProcessId, kMessageBoxTextId)) search->Boxes.push_back(window);
  return TRUE;
}

// Wine answers for a running process only, so the peak is sampled while the
// program runs and once more when it has ended; the largest answer counts.
void NotePeakPrivateBytes(HANDLE process, ProgramResult& result) {
  PROCESS_MEMORY_COUNTERS memory{};
  if (GetProcessMemoryInfo(process, &memory, sizeof(memory))) {
    result.PeakPrivateBytes = std::max<std::size_t>(result.PeakPrivateBytes, memory.PeakPagefileUsage);
  }
}

}  // namespace

ProgramResult RunProgram(const std::wstring& commandLine, const std::wstring& workingFolder, DWORD timeoutMs,
                         const std::function<void(DWORD processId)>& driver,
                         const std::function<void()>& whileSuspended) {
  ProgramResult result;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  std::wstring mutableLine = commandLine;
  if (!CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, whileSuspended ? CREATE_SUSPENDED : 0,
                      nullptr, workingFolder.empty() ? nullptr : workingFolder.c_str(), &startup, &process)) {
    result.StartError = GetLastError();
    return result;
  }
  if (whileSuspended) {
    whileSuspended();
    ResumeThread(process.hThread);
  }
  CloseHandle(process.hThread);
  std::unique_ptr<BackgroundThread> user;
  if (driver) user = std::make_unique<BackgroundThread>([&] { driver(process.dwProcessId); });

  std::vector<HWND> answered;
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
    NotePeakPrivateBytes(process.hProcess, result);
    if (GetTickCount64() > deadline) {
      result.TimedOut = true;
      TerminateProcess(process.hProcess, 0xDEAD);
      WaitForSingleObject(process.hProcess, 5000);
      break;
    }
    Search search{process.dwProcessId, {}};
    EnumWindows(&CollectMessageBoxes, reinterpret_cast<LPARAM>(&search));
    for (HWND box : search.Boxes) {
      if (std::find(answered.begin(), answered.end(), box) != answered.end()) continue;
      answered.push_back(box);
      wchar_t text[1024] = {};
      GetDlgItemTextW(box, kMessageBoxTextId, text, static_cast<int>(std::size(text)));
      result.MessageBoxes.push_back({WindowText(box), text});
      PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
  }
  NotePeakPrivateBytes(process.hProcess, result);
  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  result.ExitCode = exitCode;
  CloseHandle(process.hProcess);
  return result;
}

std::wstring HostPathToWindows(const std::string& path) {
  std::wstring converted(path.begin(), path.end());
  std::replace(converted.begin(), converted.end(), L'/', L'\\');
  if (!path.empty() && path[0] == '/') converted.insert(0, L"Z:");
  return converted;
}

bool PathArgument(const std::string& argument, const char* name, std::wstring& target) {
  const std::string prefix = std::string("--") + name + "=";
  if (argument.rfind(prefix, 0) != 0) return false;
  target = HostPathToWindows(argument.substr(prefix.size()));
  return true;
}

}  // namespace testing_tools
