// SPDX-License-Identifier: Apache-2.0
// Runs the chosen Command of a launch stub in the unpacked folder, with the
// rights of the user who started the installer.
#pragma once

#include "tasks/launch_command.h"

class ExecuteLaunchCommand final : public LaunchCommand {
 public:
  [[nodiscard]] velmora::VMStatus run(std::uint32_t& exitCodeOut) override;

  // CreateProcessW rather than the shell.
  bool UseCreateProcess = false;
  // Shell commands only; stays false for CreateProcessW.
  bool Wait = false;
};
