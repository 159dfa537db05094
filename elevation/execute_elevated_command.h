// SPDX-License-Identifier: Apache-2.0
// The elevated second instance's side of an elevated run: which Command it
// may run and how it runs it.
#pragma once

#include "config/cfg.h"
#include "tasks/launch_command.h"

// Whether `command` runs elevated: a ShellExecute Command marked AsAdmin.
[[nodiscard]] bool IsElevatedCommand(const CfgCommand& command);

// Any program can start the installer with --internal 1 and have the user
// approve it elevated: a Command the vendor meant for the user's own rights
// must not run so. InvalidCommandLine for any Command but an elevated one.
[[nodiscard]] velmora::VMStatus CheckInternalModeCommand(const CfgCommand& command);

// Runs the Command in the elevated instance, which trusts nothing a standard
// user can set: a program (.exe, .com) starts with CreateProcessW, never
// through the shell; a document opens with the class the machine defines
// for it; a bare name is not looked for in PATH.
class ExecuteElevatedCommand final : public LaunchCommand {
 public:
  [[nodiscard]] velmora::VMStatus run(std::uint32_t& exitCodeOut) override;

  // Whether the instance waits for the program (and for its tree where
  // asked), so that the clean-up may follow.
  bool Wait = false;
};
