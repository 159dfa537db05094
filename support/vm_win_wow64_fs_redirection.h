// Switches WOW64 file-system redirection off for the calling thread while the
// object lives, so a 32-bit process on 64-bit Windows sees the real system
// folders. A native process needs no switch.
#pragma once

#include <windows.h>

#include "support/vm_status.h"

namespace velmora {

class VMWinWow64FsRedirection {
 public:
  VMWinWow64FsRedirection();
  ~VMWinWow64FsRedirection();
  VMWinWow64FsRedirection(const VMWinWow64FsRedirection&) = delete;
  VMWinWow64FsRedirection& operator=(const VMWinWow64FsRedirection&) = delete;

  [[nodiscard]] VMStatus Status() const { return status_; }
  [[nodiscard]] bool IsNeeded() const { return needed_; }
  [[nodiscard]] bool IsOff() const { return off_; }

 private:
  using DisableFn = BOOL(WINAPI*)(void**);
  using RevertFn = BOOL(WINAPI*)(void*);

  VMStatus status_ = status::Ok;
  bool needed_ = false;
  DisableFn disable_ = nullptr;
  RevertFn revert_ = nullptr;
  bool off_ = false;
  void* cookie_ = nullptr;
};

}  // namespace velmora
