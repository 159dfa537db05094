// SPDX-License-Identifier: Apache-2.0
// Runs the chosen Command of a launch stub in the unpacked folder.
#pragma once

#include <string>

#include <windows.h>
#include <shellapi.h>

#include "tasks/task.h"

class ExecuteLaunchCommand final : public Task {
 public:
  ExecuteLaunchCommand();
  [[nodiscard]] velmora::VMStatus run(std::uint32_t& exitCodeOut) override;

  // CreateProcessW rather than the shell.
  bool UseCreateProcess = false;
  std::wstring Executable;
  // The Command's arguments and, after one blank, the stub's passthrough text.
  std::wstring Arguments;
  // Shell commands only; both stay false for CreateProcessW.
  bool Wait = false;
  bool AsAdmin = false;
  // Where the task waits for the program itself (not for an elevated second
  // instance): wait for everything it starts too, before the clean-up.
  bool WaitForProcessTree = false;
  // This is the elevated second instance, which runs the Command itself and
  // trusts nothing a standard user can set: a program (.exe, .com) starts
  // with CreateProcessW, never through the shell; a document opens with the
  // class the machine defines for it; a bare name is not looked for in PATH.
  bool ElevatedInstance = false;
  // The chosen language; empty for a language-neutral Option.
  std::wstring LanguageTag;
  // With AsAdmin: the argument line of the elevated second instance, which
  // the run sequence composes from what it has settled.
  std::wstring RelaunchArguments;

  // The call that starts the elevated second instance. Only a real consent
  // prompt can refuse it, which Wine has not, so a test may put a call of its
  // own here; nothing else of the task is replaced.
  static inline BOOL(WINAPI* ElevatedShellExecute)(SHELLEXECUTEINFOW* info) = &ShellExecuteExW;

 private:
  // The Command in the elevated second instance.
  [[nodiscard]] velmora::VMStatus RunElevated(const std::wstring& executable, const std::wstring& arguments,
                                              std::uint32_t& exitCodeOut) const;
  // Starts this stub elevated and waits for it; its exit code is the task's.
  [[nodiscard]] velmora::VMStatus Relaunch(std::uint32_t& exitCodeOut) const;
  // Hands `program` to the shell and returns at once.
  [[nodiscard]] velmora::VMStatus OpenWithShell(const std::wstring& program, const std::wstring& arguments) const;
  // Opens `program` through the shell, with the verbs of `classKey` when
  // given, and waits for it (and its tree where asked) when Wait is set.
  [[nodiscard]] velmora::VMStatus RunWithShell(const std::wstring& program, const std::wstring& arguments,
                                               HKEY classKey, std::uint32_t& exitCodeOut) const;
  // Starts `program` with CreateProcessW in the target folder and, with
  // `wait`, waits for it (and its tree where asked); its exit code is the
  // task's.
  [[nodiscard]] velmora::VMStatus RunProcess(const std::wstring& program, const std::wstring& arguments, bool wait,
                                             std::uint32_t& exitCodeOut) const;
};
