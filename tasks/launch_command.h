// SPDX-License-Identifier: Apache-2.0
// A launch stub's Command and the ways a task starts its program: with
// CreateProcessW or through the shell, waiting for the program and, where
// the document asks, for everything it starts.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <string>

#include "tasks/task.h"

// What the unelevated run and the elevated second instance share; each of
// them decides how its Command runs.
class LaunchCommand : public Task {
 public:
  std::wstring Executable;
  // The Command's arguments and, after one blank, the stub's passthrough text.
  std::wstring Arguments;
  // Where the task waits for the program itself (not for an elevated second
  // instance): wait for everything it starts too, before the clean-up.
  bool WaitForProcessTree = false;
  // The chosen language; empty for a language-neutral Option.
  std::wstring LanguageTag;

 protected:
  LaunchCommand();

  // The Command as it runs: Executable and Arguments with their %NAME%
  // references expanded, and `program` the program Executable names, as
  // written with a folder part, else found in the unpacked folder, the
  // system folder, the Windows folder and, with `searchPath`, PATH.
  // `arguments` is passed empty.
  [[nodiscard]] velmora::VMStatus ResolveCommand(bool searchPath, std::wstring& program,
                                                 std::wstring& arguments) const;
  // Hands `program` to the shell and returns at once.
  [[nodiscard]] velmora::VMStatus OpenWithShell(const std::wstring& program, const std::wstring& arguments) const;
  // Opens `program` through the shell, with the verbs of `classKey` when
  // given, and with `wait` waits for it (and its tree where asked).
  [[nodiscard]] velmora::VMStatus RunWithShell(const std::wstring& program, const std::wstring& arguments,
                                               HKEY classKey, bool wait, std::uint32_t& exitCodeOut) const;
  // Starts `program` with CreateProcessW in the target folder and, with
  // `wait`, waits for it (and its tree where asked); its exit code is the
  // task's.
  [[nodiscard]] velmora::VMStatus RunProcess(const std::wstring& program, const std::wstring& arguments, bool wait,
                                             std::uint32_t& exitCodeOut) const;
};

// The shell's request to apply `verb` to `file` (which must outlive it).
[[nodiscard]] SHELLEXECUTEINFOW ShellRequest(const wchar_t* verb, const std::wstring& file,
                                             const std::wstring& parameters, const std::wstring& directory, int show);

using ShellExecuteCall = BOOL(WINAPI*)(SHELLEXECUTEINFOW* info);

// Hands `info` to the shell by `call` on this thread and, with `wait`, waits
// for the process it started, whose exit code is then the task's. A call
// that fails ends with its Windows error.
[[nodiscard]] velmora::VMStatus ExecuteShell(SHELLEXECUTEINFOW& info, ShellExecuteCall call, bool wait,
                                             std::uint32_t& exitCodeOut);
