// SPDX-License-Identifier: Apache-2.0
// A critical section and its scoped holder.
#pragma once

#include <windows.h>

namespace velmora {

class VMWinCriticalSection {
 public:
  VMWinCriticalSection() { InitializeCriticalSection(&section_); }
  ~VMWinCriticalSection() { DeleteCriticalSection(&section_); }
  VMWinCriticalSection(const VMWinCriticalSection&) = delete;
  VMWinCriticalSection& operator=(const VMWinCriticalSection&) = delete;

  void Enter() { EnterCriticalSection(&section_); }
  void Leave() { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

class VMWinLockHolder {
 public:
  explicit VMWinLockHolder(VMWinCriticalSection& lock) : lock_(lock) { lock_.Enter(); }
  ~VMWinLockHolder() { lock_.Leave(); }
  VMWinLockHolder(const VMWinLockHolder&) = delete;
  VMWinLockHolder& operator=(const VMWinLockHolder&) = delete;

 private:
  VMWinCriticalSection& lock_;
};

}  // namespace velmora
