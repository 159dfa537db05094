// SPDX-License-Identifier: Apache-2.0
#include "support/vm_win_wow64_fs_redirection.h"

#include "support/vm_win_architecture.h"

namespace velmora {
namespace {

// The object that holds redirection off on this thread.
thread_local VMWinWow64FsRedirection* t_redirectionOff = nullptr;

bool IsWow64Process() {
  bool native = true;
  return VMWinIsNativeProcess(GetCurrentProcess(), native) == status::Ok && !native;
}

std::wstring FolderOf(UINT(WINAPI* query)(LPWSTR, UINT)) {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = query(folder, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(folder, length) : std::wstring();
}

template <typename Fn>
Fn Resolve(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
}  // namespace

VMWinWow64FsRedirection::VMWinWow64FsRedirection() {
  bool native = false;
  status_ = VMWinIsNativeProcess(GetCurrentProcess(), native);
  if (status_ != status::Ok || native) return;

  needed_ = true;
  // kernel32.dll is mapped into every process: looked up, never searched
  // for on disk (an installer often runs from a folder full of downloads).
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) {
    status_ = LastErrorOr();
    return;
  }
  disable_ = Resolve<DisableFn>(kernel, "Wow64DisableWow64FsRedirection");
  revert_ = Resolve<RevertFn>(kernel, "Wow64RevertWow64FsRedirection");
  if (disable_ == nullptr || revert_ == nullptr) {
    status_ = LastErrorOr();
    return;
  }
  if (disable_(&cookie_)) {
    off_ = true;
    outer_ = t_redirectionOff;
    t_redirectionOff = this;
  } else {
    status_ = LastErrorOr();
  }
}

VMWinWow64FsRedirection::~VMWinWow64FsRedirection() {
  if (t_redirectionOff == this) t_redirectionOff = outer_;
  if (off_ && revert_(cookie_)) cookie_ = nullptr;
}

VMWinWow64FsRedirectionRestored::VMWinWow64FsRedirectionRestored() {
  VMWinWow64FsRedirection* const holder = t_redirectionOff;
  if (holder == nullptr || !holder->off_) return;
  if (holder->revert_(holder->cookie_)) {
    holder->off_ = false;
    off_ = holder;
  }
}

VMWinWow64FsRedirectionRestored::~VMWinWow64FsRedirectionRestored() {
  if (off_ != nullptr && off_->disable_(&off_->cookie_)) off_->off_ = true;
}

std::wstring VMWinSysnativePath(const std::wstring& path) {
  if (!IsWow64Process()) return path;
  const std::wstring system = FolderOf(&GetSystemDirectoryW);
  const std::wstring windows = FolderOf(&GetSystemWindowsDirectoryW);
  if (system.empty() || windows.empty() || path.size() <= system.size() || path[system.size()] != L'\\') {
    return path;
  }
  if (CompareStringOrdinal(path.c_str(), static_cast<int>(system.size()), system.c_str(),
                           static_cast<int>(system.size()), TRUE) != CSTR_EQUAL) {
    return path;
  }
  const bool rooted = !windows.empty() && windows.back() == L'\\';
  return windows + (rooted ? L"" : L"\\") + L"Sysnative" + path.substr(system.size());
}

}  // namespace velmora
