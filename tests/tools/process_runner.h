// SPDX-License-Identifier: Apache-2.0
// Starts a Windows program the way a user or a deployment script would and
// reports what it did: its full 32-bit exit code and every message box it
// showed (each one is answered with OK, as a user would).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testing_tools {

struct MessageBoxSeen {
  std::wstring Caption;
  std::wstring Text;
};

struct ProgramResult {
  DWORD StartError = 0;  // non-zero: CreateProcessW failed with this error
  bool TimedOut = false;
  std::uint32_t ExitCode = 0;
  // The most private memory the process ever committed, read just before
  // its handle is closed (0 when Windows could not tell).
  std::size_t PeakPrivateBytes = 0;
  std::vector<MessageBoxSeen> MessageBoxes;
};

// `commandLine` is passed to CreateProcessW as it stands; `workingFolder` may
// be empty for the caller's own. `driver`, when given, runs on a thread of
// its own while the program runs and gets its process id: it plays the user
// in the program's dialogs. It must return by itself. `whileSuspended`, when
// given, runs after the program is made and before its first instruction,
// so that a test can change what the program will find when it starts.
[[nodiscard]] ProgramResult RunProgram(const std::wstring& commandLine, const std::wstring& workingFolder,
                                       DWORD timeoutMs = 60000,
                                       const std::function<void(DWORD processId)>& driver = {},
                                       const std::function<void()>& whileSuspended = {});

// "/work/x/y.exe" as Windows sees it through Wine's Z: drive; other paths are
// returned with slashes turned into backslashes.
[[nodiscard]] std::wstring HostPathToWindows(const std::string& path);

// For the test programs' own options: when `argument` is "--NAME=PATH",
// `target` gets PATH as Windows sees it and the answer is true.
bool PathArgument(const std::string& argument, const char* name, std::wstring& target);

}  // namespace testing_tools
