#include "tasks/execute_launch_command.h"

#include <windows.h>

ExecuteLaunchCommand::ExecuteLaunchCommand() { Description = L"Executing application. Please wait..."; }

velmora::VMStatus ExecuteLaunchCommand::run(std::uint32_t& exitCodeOut) {
  exitCodeOut = 0;
  // Starting the command is not part of this build; failing keeps a launch
  // stub from reporting success for a command it never ran.
  return ERROR_CALL_NOT_IMPLEMENTED;
}
