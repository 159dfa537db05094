// SPDX-License-Identifier: Apache-2.0
#include "elevation/execute_elevated_command.h"

#include "config/stub_status.h"
#include "elevation/machine_class.h"
#include "support/vm_handle.h"

using velmora::VMStatus;
namespace status = velmora::status;

namespace {

// "C:\x" or "\\server\share\x", which no current folder changes.
bool IsFullyQualified(const std::wstring& path) {
  const auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
  return (path.size() >= 2 && separator(path[0]) && separator(path[1])) ||
         (path.size() >= 3 && path[1] == L':' && separator(path[2]));
}

// Whether Windows starts `path` as a program rather than opening it as a
// document with the program of its class.
bool IsProgramFile(const std::wstring& path) {
  const std::size_t dot = path.rfind(L'.');
  if (dot == std::wstring::npos || path.find_first_of(L"\\/", dot) != std::wstring::npos) return false;
  const wchar_t* extension = path.c_str() + dot;
  return _wcsicmp(extension, L".exe") == 0 || _wcsicmp(extension, L".com") == 0;
}

}  // namespace

bool IsElevatedCommand(const CfgCommand& command) { return !command.UseCreateProcess && command.AsAdmin; }

VMStatus CheckInternalModeCommand(const CfgCommand& command) {
  return IsElevatedCommand(command) ? status::Ok : stub_status::InvalidCommandLine;
}

VMStatus ExecuteElevatedCommand::run(std::uint32_t& exitCodeOut) {
  exitCodeOut = 0;
  // A bare name is not looked for in PATH: a standard user can add his own
  // folders to it.
  std::wstring program;
  std::wstring arguments;
  VM_RETURN_IF_FAILED(ResolveCommand(false, program, arguments));
  // Relative to the unpacked folder, as the shell would take it, not to
  // whatever folder this process was started in.
  if (!IsFullyQualified(program) && !TargetFolder.empty()) {
    program = TargetFolder + (TargetFolder.back() == L'\\' ? L"" : L"\\") + program;
  }
  // The shell would pick a program's handler by the user's part of the
  // registry too; CreateProcessW runs the file itself.
  if (IsProgramFile(program)) return RunProcess(program, arguments, Wait, exitCodeOut);
  velmora::VMUniqueRegKey classKey;
  VM_RETURN_IF_FAILED(OpenMachineClass(program, classKey));
  return RunWithShell(program, arguments, classKey.get(), Wait, exitCodeOut);
}
