// SPDX-License-Identifier: Apache-2.0
#include "tasks/execute_launch_command.h"

using velmora::VMStatus;

VMStatus ExecuteLaunchCommand::run(std::uint32_t& exitCodeOut) {
  exitCodeOut = 0;
  std::wstring program;
  std::wstring arguments;
  VM_RETURN_IF_FAILED(ResolveCommand(true, program, arguments));
  switch (Mode) {
    case LaunchMode::CreateProcessAndWait: return RunProcess(program, arguments, true, exitCodeOut);
    case LaunchMode::ShellExecuteAndWait: return RunWithShell(program, arguments, nullptr, true, exitCodeOut);
    case LaunchMode::ShellExecuteNoWait: break;
  }
  return OpenWithShell(program, arguments);
}
