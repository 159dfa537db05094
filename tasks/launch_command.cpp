// SPDX-License-Identifier: Apache-2.0
#include "tasks/launch_command.h"

#include <windows.h>

#include <objbase.h>

#include <new>
#include <vector>

#include "support/vm_handle.h"
#include "support/vm_trace.h"
#include "support/vm_win_environment.h"
#include "support/vm_win_wow64_fs_redirection.h"
#include "tasks/process_tree_job.h"

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
// unpacked folder, the system folder, the Windows folder and, with
// `searchPath`, PATH, in that order. Redirection is off on the worker, so
// the system folder is the real one; a shell call reaches it through
// VMWinSysnativePath.
VMStatus ResolveProgram(const std::wstring& name, const std::wstring& targetFolder, bool searchPath,
                        std::wstring& path) {
  const std::wstring extension = name.find(L'.') == std::wstring::npos ? L".exe" : L"";
  const std::wstring folders[] = {targetFolder, SystemFolder(&GetSystemDirectoryW),
                                  SystemFolder(&GetWindowsDirectoryW)};
  for (const std::wstring& folder : folders) {
    if (folder.empty()) continue;
    path = folder + (folder.back() == L'\\' ? L"" : L"\\") + name + extension;
    if (IsFile(path)) return status::Ok;
  }
  std::wstring folderList;
  if (searchPath && velmora::VMWinExpandEnvironmentStrings(L"%PATH%", folderList) == status::Ok &&
      folderList != L"%PATH%") {
    wchar_t found[MAX_PATH] = {};
    const DWORD length = SearchPathW(folderList.c_str(), name.c_str(), L".exe", MAX_PATH, found, nullptr);
    if (length > 0 && length < MAX_PATH && IsFile(found)) {
      path = found;
      return status::Ok;
    }
  }
  path.clear();
  return ERROR_FILE_NOT_FOUND;
}

const wchar_t* OrNull(const std::wstring& text) { return text.empty() ? nullptr : text.c_str(); }

// What a shell call needs on the worker thread. The shell loads libraries on
// demand, which fails on 64-bit Windows while redirection is off, so it is
// back on for the call (a program in the system folder is then reached
// through Sysnative). ShellExecuteEx wants COM initialised on the calling
// thread, apartment-threaded, and without the OLE1 DDE window it does not
// need.
class ShellCallScope {
 public:
  ShellCallScope() : com_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
  ~ShellCallScope() {
    if (SUCCEEDED(com_)) CoUninitialize();
  }
  ShellCallScope(const ShellCallScope&) = delete;
  ShellCallScope& operator=(const ShellCallScope&) = delete;

 private:
  // Restored before COM starts, switched off again after it has ended.
  velmora::VMWinWow64FsRedirectionRestored redirection_;
  HRESULT com_;
};

// The exit code of a process that has ended, by the task's rules.
VMStatus ReadExitCode(HANDLE process, std::uint32_t& exitCodeOut) {
  DWORD exitCode = 0;
  if (!GetExitCodeProcess(process, &exitCode)) {
    const DWORD error = GetLastError();
    if (error == STILL_ACTIVE) return status::ProcessStillActive;
    if (error != 0) return error;
    exitCode = status::ExitCodeUnavailable;
  }
  exitCodeOut = exitCode;
  return status::Ok;
}

// Why the run waits for the program alone although the document asked for
// its whole tree.
void TraceNoTree(const char* step, VMStatus failure, const char* function = VM_CALLER_NAME) {
  VM_TRACE_FROM(function, "WARNING", "waiting for the program only, the job could not be %s, st=0x%08x\n", step,
                failure);
}

// Makes `job` for a run that waits for the program's whole tree.
void CreateTreeJob(ProcessTreeJob& job) {
  if (const VMStatus created = job.Create(); created != status::Ok) TraceNoTree("created", created);
}

// Puts `process` into `job`. A stub that itself runs in a job that allows no
// second one (before Windows 8) cannot: the run then waits for the program
// alone, as without the setting.
void JoinTreeJob(ProcessTreeJob& job, HANDLE process) {
  if (!job) return;
  if (const VMStatus assigned = job.Assign(process); assigned != status::Ok) {
    TraceNoTree("joined", assigned);
    job.Close();
  }
}

// After the program: everything it left running in the job, `stay` being the
// processes that are there for the job's own sake.
void WaitForTree(const ProcessTreeJob& job, DWORD stay) {
  if (!job) return;
  if (const VMStatus waited = job.WaitUntilOnly(stay); waited != status::Ok) TraceNoTree("counted", waited);
}

}  // namespace

SHELLEXECUTEINFOW ShellRequest(const wchar_t* verb, const std::wstring& file, const std::wstring& parameters,
                               const std::wstring& directory, int show) {
  SHELLEXECUTEINFOW info{};
  info.lpVerb = verb;
  info.lpFile = file.c_str();
  info.lpParameters = OrNull(parameters);
  info.lpDirectory = OrNull(directory);
  info.nShow = show;
  return info;
}

VMStatus ExecuteShell(SHELLEXECUTEINFOW& info, ShellExecuteCall call, bool wait, std::uint32_t& exitCodeOut) {
  info.cbSize = sizeof(info);
  // The values are expanded already: the shell must not expand a % in a
  // user or folder name once more. The call completes before it returns,
  // since COM ends on this thread right after it.
  info.fMask |= SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;
  BOOL started = FALSE;
  DWORD error = 0;
  {
    const ShellCallScope scope;
    started = call(&info);
    error = started ? 0 : GetLastError();
  }
  if (!started && error != 0) return error;
  const velmora::VMUniqueKernelHandle process(info.hProcess);
  if (!wait) return status::Ok;
  // No process to wait for (the shell handed the file to a program that was
  // already running): the wait fails with its own error.
  if (WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0) return velmora::LastErrorOr();
  return ReadExitCode(process.get(), exitCodeOut);
}

LaunchCommand::LaunchCommand() { Description = L"Executing application. Please wait..."; }

VMStatus LaunchCommand::ResolveCommand(bool searchPath, std::wstring& program, std::wstring& arguments) const {
  std::wstring executable;
  VM_RETURN_IF_FAILED(velmora::VMWinExpandEnvironmentStrings(Executable, executable));
  if (!Arguments.empty()) VM_RETURN_IF_FAILED(velmora::VMWinExpandEnvironmentStrings(Arguments, arguments));
  // Names with a folder part are used as written, bare ones found as above.
  program = executable;
  return HasFolderPart(executable) ? status::Ok : ResolveProgram(executable, TargetFolder, searchPath, program);
}

VMStatus LaunchCommand::OpenWithShell(const std::wstring& program, const std::wstring& arguments) const {
  const std::wstring file = velmora::VMWinSysnativePath(program);
  const ShellCallScope scope;
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", file.c_str(), OrNull(arguments), OrNull(TargetFolder), SW_SHOWDEFAULT));
  // Read before the scope ends COM, which may change it.
  return result > 32 ? status::Ok : velmora::LastErrorOr();
}

VMStatus LaunchCommand::RunWithShell(const std::wstring& program, const std::wstring& arguments, HKEY classKey,
                                     bool wait, std::uint32_t& exitCodeOut) const {
  const std::wstring file = velmora::VMWinSysnativePath(program);
  SHELLEXECUTEINFOW info = ShellRequest(L"open", file, arguments, TargetFolder, SW_SHOWDEFAULT);
  if (classKey != nullptr) {
    info.fMask = SEE_MASK_CLASSKEY;
    info.hkeyClass = classKey;
  }
  if (!wait || !WaitForProcessTree) return ExecuteShell(info, &ShellExecuteExW, wait, exitCodeOut);
  // The shell starts the program from within this process but hands back
  // its handle only once it runs, when it may have started its helpers
  // already. So this process joins the job before the call, and the program
  // is in it from its first instruction; this process stays in the job until
  // it ends, which changes nothing for it.
  ProcessTreeJob job;
  CreateTreeJob(job);
  JoinTreeJob(job, GetCurrentProcess());
  VM_RETURN_IF_FAILED(ExecuteShell(info, &ShellExecuteExW, true, exitCodeOut));
  WaitForTree(job, 1);
  return status::Ok;
}

VMStatus LaunchCommand::RunProcess(const std::wstring& program, const std::wstring& arguments, bool wait,
                                   std::uint32_t& exitCodeOut) const {
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

  // With the whole tree to wait for, the program starts suspended and joins
  // the job before it runs, so nothing it starts can be missed.
  ProcessTreeJob job;
  if (wait && WaitForProcessTree) CreateTreeJob(job);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  const bool suspended = static_cast<bool>(job);
  if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, suspended ? CREATE_SUSPENDED : 0, nullptr,
                      TargetFolder.empty() ? nullptr : TargetFolder.c_str(), &startup, &started)) {
    return velmora::LastErrorOr();
  }
  const velmora::VMUniqueKernelHandle process(started.hProcess);
  const velmora::VMUniqueKernelHandle thread(started.hThread);
  if (!process) return status::MissingObject;
  if (suspended) {
    JoinTreeJob(job, process.get());
    if (ResumeThread(thread.get()) == static_cast<DWORD>(-1)) {
      // A program that cannot run must not stay behind, suspended.
      const VMStatus failure = velmora::LastErrorOr();
      (void)TerminateProcess(process.get(), failure);
      return failure;
    }
  }

  if (!wait) return status::Ok;
  const DWORD waited = WaitForSingleObject(process.get(), INFINITE);
  if (waited == WAIT_TIMEOUT) return status::WaitTimedOut;
  if (waited != WAIT_OBJECT_0) {
    const DWORD error = GetLastError();
    if (error != 0) return error;
  }
  VM_RETURN_IF_FAILED(ReadExitCode(process.get(), exitCodeOut));
  WaitForTree(job, 0);
  return status::Ok;
}
