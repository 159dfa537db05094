// SPDX-License-Identifier: Apache-2.0
#include "elevation/relaunch_elevated.h"

#include "config/stub_status.h"
#include "support/vm_trace.h"
#include "payload/installer_file.h"
#include "tasks/launch_command.h"

using velmora::VMStatus;
namespace status = velmora::status;

RelaunchElevated::RelaunchElevated() { Description = L"Executing application. Please wait..."; }

VMStatus RelaunchElevated::run(std::uint32_t& exitCodeOut) {
  exitCodeOut = 0;
  // The elevated second instance is this stub again: it unpacks its own
  // payload where no standard user can reach and runs the command there.
  // Held until the elevated instance has ended, so that it is started from,
  // and reads its payload from, the file this instance runs from.
  InstallerFile self;
  VMStatus found = self.Open();
  // Started by the path the held file really has: the path this process was
  // started by may lead through a link that is retargeted before Windows
  // opens the file it names.
  std::wstring file;
  if (found == status::Ok) found = self.FinalPath(file);
  if (found != status::Ok) {
    VM_TRACE("ERROR", "the installer's own file cannot be held or its path read, st=0x%08x.\n", found);
    return found;
  }
  SHELLEXECUTEINFOW info = ShellRequest(L"runas", file, RelaunchArguments, TargetFolder, SW_HIDE);
  // The stub always waits for the elevated instance, whatever Wait says.
  const VMStatus result = ExecuteShell(info, ElevatedShellExecute, true, exitCodeOut);
  // The call ends with ERROR_CANCELLED only when the user said no at the
  // consent prompt, which ends the run quietly.
  return result == ERROR_CANCELLED ? stub_status::ElevationRefused : result;
}
