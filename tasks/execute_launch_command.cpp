#include "tasks/execute_launch_command.h"

#include <windows.h>

#include <new>
#include <vector>

#include "support/vm_handle.h"
#include "support/vm_win_environment.h"

using velmora::VMStatus;
namespace status = velmora::status;

namespace {

bool HasFolderPart(const std::wstring& name) { return name.find_first_of(L"\\/:") != std::wstring::npos; }

bool IsFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring SystemFolder(UINT(WINAPI* query)(LPWSTR, UINT)) {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = query(folder, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(folder, length) : std::wstring();
}

// A program named without a folder. CreateProcessW would look in the
// installer's own folder first, and installers are run from download folders
// where anyone may have left a file of that name, which would then run (with
// the user's rights, or elevated). So the name is looked for only in the
// unpacked folder, the system folder, the Windows folder and PATH, in that
// order. Redirection is off on the worker, so the system folder is the real
// one.
VMStatus ResolveProgram(const std::wstring& name, const std::wstring& targetFolder, std::wstring& path) {
  const std::wstring extension = name.find(L'.') == std::wstring::npos ? L".exe" : L"";
  const std::wstring folders[] = {targetFolder, SystemFolder(&GetSystemDirectoryW),
                                  SystemFolder(&GetWindowsDirectoryW)};
  for (const std::wstring& folder : folders) {
    if (folder.empty()) continue;
    path = folder + (folder.back() == L'\\' ? L"" : L"\\") + name + extension;
    if (IsFile(path)) return status::Ok;
  }
  std::wstring searchPath;
  if (velmora::VMWinExpandEnvironmentStrings(L"%PATH%", searchPath) == status::Ok && searchPath != L"%PATH%") {
    wchar_t found[MAX_PATH] = {};
    const DWORD length = SearchPathW(searchPath.c_str(), name.c_str(), L".exe", MAX_PATH, found, nullptr);
    if (length > 0 && length < MAX_PATH && IsFile(found)) {
      path = found;
      return status::Ok;
    }
  }
  path.clear();
  return ERROR_FILE_NOT_FOUND;
}

}  // namespace

ExecuteLaunchCommand::ExecuteLaunchCommand() { Description = L"Executing application. Please wait..."; }

VMStatus ExecuteLaunchCommand::run(std::uint32_t& exitCodeOut) {
  exitCodeOut = 0;
  std::wstring executable;
  VM_RETURN_IF_FAILED(velmora::VMWinExpandEnvironmentStrings(Executable, executable));
  std::wstring arguments;
  if (!Arguments.empty()) VM_RETURN_IF_FAILED(velmora::VMWinExpandEnvironmentStrings(Arguments, arguments));
  // The shell ways are not part of this build; failing keeps a launch stub
  // from reporting success for a command it never ran.
  if (!UseCreateProcess) return ERROR_CALL_NOT_IMPLEMENTED;
  return RunProcess(executable, arguments, exitCodeOut);
}

VMStatus ExecuteLaunchCommand::RunProcess(const std::wstring& executable, const std::wstring& arguments,
                                          std::uint32_t& exitCodeOut) const {
  std::wstring program = executable;
  if (!HasFolderPart(executable)) VM_RETURN_IF_FAILED(ResolveProgram(executable, TargetFolder, program));
  std::wstring line = L"\"" + program + L"\"";
  if (!arguments.empty()) line += L" " + arguments;
  // CreateProcessW may write into its command line.
  std::vector<wchar_t> buffer;
  try {
    buffer.assign((line.size() + 1 + 7) / 8 * 8, L'\0');
  } catch (const std::bad_alloc&) {
    return status::OutOfMemory;
  }
  line.copy(buffer.data(), line.size());

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      TargetFolder.empty() ? nullptr : TargetFolder.c_str(), &startup, &started)) {
    return velmora::LastErrorOr();
  }
  const velmora::VMUniqueKernelHandle process(started.hProcess);
  const velmora::VMUniqueKernelHandle thread(started.hThread);
  if (!process) return status::MissingObject;

  const DWORD wait = WaitForSingleObject(process.get(), INFINITE);
  if (wait == WAIT_TIMEOUT) return status::WaitTimedOut;
  if (wait != WAIT_OBJECT_0) {
    const DWORD error = GetLastError();
    if (error != 0) return error;
  }
  DWORD exitCode = 0;
  if (!GetExitCodeProcess(process.get(), &exitCode)) {
    const DWORD error = GetLastError();
    if (error == STILL_ACTIVE) return status::ProcessStillActive;
    if (error != 0) return error;
    exitCode = status::ExitCodeUnavailable;
  }
  exitCodeOut = exitCode;
  return status::Ok;
}
