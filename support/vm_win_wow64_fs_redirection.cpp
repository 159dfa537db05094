#include "support/vm_win_wow64_fs_redirection.h"

#include "support/vm_win_architecture.h"

namespace velmora {
namespace {
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
  } else {
    status_ = LastErrorOr();
  }
}

VMWinWow64FsRedirection::~VMWinWow64FsRedirection() {
  if (off_ && revert_(cookie_)) cookie_ = nullptr;
}

}  // namespace velmora
