// SPDX-License-Identifier: Apache-2.0
// Runs the chosen Command of a launch stub in the unpacked folder, with the
// rights of the user who started the installer.
#pragma once

#include "tasks/launch_command.h"

// How an unelevated Command runs, as its element and its Wait say.
enum class LaunchMode {
  // CreateProcess: CreateProcessW, waiting for the program.
  CreateProcessAndWait,
  // ShellExecute with Wait: the shell's "open", waiting for the process it
  // started.
  ShellExecuteAndWait,
  // ShellExecute without Wait: the shell's "open", returning at once.
  ShellExecuteNoWait,
};

class ExecuteLaunchCommand final : public LaunchCommand {
 public:
  [[nodiscard]] velmora::VMStatus run(std::uint32_t& exitCodeOut) override;

  LaunchMode Mode = LaunchMode::ShellExecuteNoWait;
};
