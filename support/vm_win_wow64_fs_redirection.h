// SPDX-License-Identifier: Apache-2.0
// Switches WOW64 file-system redirection off for the calling thread while the
// object lives, so a 32-bit process on 64-bit Windows sees the real system
// folders. A native process needs no switch.
#pragma once

#include <windows.h>

#include <string>

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

 private:
  using DisableFn = BOOL(WINAPI*)(void**);
  using RevertFn = BOOL(WINAPI*)(void*);

  VMStatus status_ = status::Ok;
  bool needed_ = false;
  DisableFn disable_ = nullptr;
  RevertFn revert_ = nullptr;
  bool off_ = false;
  void* cookie_ = nullptr;
  // The object that has switched redirection off for this thread, if any.
  VMWinWow64FsRedirection* outer_ = nullptr;

  friend class VMWinWow64FsRedirectionRestored;
};

// Switches redirection back on for the calling thread while the object lives,
// where a VMWinWow64FsRedirection of this thread has switched it off. The
// shell and COM load libraries on demand, and Windows documents that loading
// fails while redirection is off (a 32-bit process would be handed the 64-bit
// system libraries), so every shell call runs inside one of these.
class VMWinWow64FsRedirectionRestored {
 public:
  VMWinWow64FsRedirectionRestored();
  ~VMWinWow64FsRedirectionRestored();
  VMWinWow64FsRedirectionRestored(const VMWinWow64FsRedirectionRestored&) = delete;
  VMWinWow64FsRedirectionRestored& operator=(const VMWinWow64FsRedirectionRestored&) = delete;

 private:
  VMWinWow64FsRedirection* off_ = nullptr;
};

// `path` as a 32-bit process reaches it with redirection on: on a 64-bit
// machine a path in the system folder goes through the Sysnative alias to the
// real one, where the 64-bit system programs are; everything else, and every
// path of a native process, stays as it is.
[[nodiscard]] std::wstring VMWinSysnativePath(const std::wstring& path);

}  // namespace velmora
