// SPDX-License-Identifier: Apache-2.0
// The first instance's side of an elevated run: it unpacks nothing, starts
// this stub again elevated and waits for it.
#pragma once

#include <string>

#include "tasks/launch_command.h"
#include "tasks/task.h"

class RelaunchElevated final : public Task {
 public:
  RelaunchElevated();
  // Starts this stub elevated and waits for it; its exit code is the task's.
  [[nodiscard]] velmora::VMStatus run(std::uint32_t& exitCodeOut) override;

  // The argument line of the elevated second instance, which the run
  // sequence composes from what it has settled.
  std::wstring RelaunchArguments;

  // The call that starts the elevated second instance. Only a real consent
  // prompt can refuse it, which Wine has not, so a test may put a call of its
  // own here; nothing else of the task is replaced.
  static inline ShellExecuteCall ElevatedShellExecute = &ShellExecuteExW;
};
