// SPDX-License-Identifier: Apache-2.0
// The archive library's threading layer (the functions its C/Threads.h
// declares for Windows), our own in place of the library's file, so that
// every thread the library starts has WOW64 file-system redirection off from
// its first instruction.
//
// The library decodes LZMA2 blocks and the coders of one folder (BCJ2 and
// its streams, a filter behind LZMA) on threads of its own, and whichever of
// them finishes the data in order writes it on: into the extraction
// callback, which creates, writes, closes and stamps files there. On a
// 64-bit machine such a thread would see SysWOW64 in place of the real
// system folder. Every thread the library makes, its C++ wrappers' included,
// is started by Thread_Create here, so no thread of the library can make a
// file-system call with redirection on. A thread whose switch fails is never
// handed the library's work: its creation fails instead, which the library
// reports as an error, and the extraction stops.

#include <windows.h>
#include <process.h>

#include "support/vm_handle.h"
#include "support/vm_win_wow64_fs_redirection.h"

#include "../C/Threads.h"

namespace {

WRes LastWRes() {
  const DWORD error = GetLastError();
  return error != 0 ? static_cast<WRes>(error) : 1;
}

WRes FromHandle(HANDLE handle) { return handle != nullptr ? 0 : LastWRes(); }
WRes FromBool(BOOL done) { return done ? 0 : LastWRes(); }

// What the new thread needs, on its creator's stack: the creator waits for
// `ready` before it returns, and the thread reads nothing after it signals.
struct ThreadStart {
  THREAD_FUNC_TYPE function;
  void* parameter;
  HANDLE ready;
  velmora::VMStatus status;
};

// GCC keeps the stack 16-byte aligned only where main() set it up; the
// library's vector code relies on it, so the root of a new thread aligns it.
__attribute__((force_align_arg_pointer)) unsigned __stdcall StartThread(void* argument) {
  auto* start = static_cast<ThreadStart*>(argument);
  const THREAD_FUNC_TYPE function = start->function;
  void* const parameter = start->parameter;
  const velmora::VMWinWow64FsRedirection redirection;
  const velmora::VMStatus status = redirection.Status();
  start->status = status;
  SetEvent(start->ready);
  if (status != velmora::status::Ok) return 0;
  return function(parameter);
}

WRes CreateEventHandle(HANDLE* event, BOOL manualReset, int signaled) {
  *event = CreateEventW(nullptr, manualReset, signaled ? TRUE : FALSE, nullptr);
  return FromHandle(*event);
}

}  // namespace

extern "C" {

WRes HandlePtr_Close(HANDLE* handle) {
  if (*handle == nullptr) return 0;
  if (!CloseHandle(*handle)) return LastWRes();
  *handle = nullptr;
  return 0;
}

WRes Handle_WaitObject(HANDLE handle) {
  const DWORD result = WaitForSingleObject(handle, INFINITE);
  if (result != WAIT_FAILED) return static_cast<WRes>(result);
  const DWORD error = GetLastError();
  return error != 0 ? static_cast<WRes>(error) : static_cast<WRes>(WAIT_FAILED);
}

WRes Thread_Wait_Close(CThread* thread) {
  const WRes waited = Handle_WaitObject(*thread);
  const WRes closed = HandlePtr_Close(thread);
  return waited != 0 ? waited : closed;
}

WRes Thread_Create(CThread* thread, THREAD_FUNC_TYPE function, LPVOID parameter) {
  *thread = nullptr;
  const velmora::VMUniqueKernelHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!ready) return LastWRes();
  ThreadStart start{function, parameter, ready.get(), velmora::status::Ok};
  // A reserved 1 MiB stack, as the image's default, whatever the linker set.
  velmora::VMUniqueKernelHandle created(reinterpret_cast<HANDLE>(
      _beginthreadex(nullptr, 1u << 20, &StartThread, &start, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr)));
  if (!created) return LastWRes();
  WaitForSingleObject(ready.get(), INFINITE);
  if (start.status != velmora::status::Ok) {
    WaitForSingleObject(created.get(), INFINITE);
    return static_cast<WRes>(start.status);
  }
  *thread = created.release();
  return 0;
}

WRes Thread_Create_With_Affinity(CThread* thread, THREAD_FUNC_TYPE function, LPVOID parameter,
                                 CAffinityMask affinity) {
  const WRes created = Thread_Create(thread, function, parameter);
  // A thread that cannot be bound still runs; binding only spreads the load.
  if (created == 0 && affinity != 0) SetThreadAffinityMask(*thread, affinity);
  return created;
}

WRes Event_Set(CEvent* event) { return FromBool(SetEvent(*event)); }
WRes Event_Reset(CEvent* event) { return FromBool(ResetEvent(*event)); }

WRes ManualResetEvent_Create(CManualResetEvent* event, int signaled) {
  return CreateEventHandle(event, TRUE, signaled);
}
WRes ManualResetEvent_CreateNotSignaled(CManualResetEvent* event) { return CreateEventHandle(event, TRUE, 0); }
WRes AutoResetEvent_Create(CAutoResetEvent* event, int signaled) { return CreateEventHandle(event, FALSE, signaled); }
WRes AutoResetEvent_CreateNotSignaled(CAutoResetEvent* event) { return CreateEventHandle(event, FALSE, 0); }
WRes AutoResetEvent_OptCreate_And_Reset(CAutoResetEvent* event) {
  return *event != nullptr ? Event_Reset(event) : AutoResetEvent_CreateNotSignaled(event);
}

WRes Semaphore_Create(CSemaphore* semaphore, UInt32 initCount, UInt32 maxCount) {
  *semaphore = CreateSemaphoreW(nullptr, static_cast<LONG>(initCount), static_cast<LONG>(maxCount), nullptr);
  return FromHandle(*semaphore);
}

WRes Semaphore_OptCreateInit(CSemaphore* semaphore, UInt32 initCount, UInt32 maxCount) {
  // A semaphore's count cannot be set again: one already made is replaced.
  const WRes closed = HandlePtr_Close(semaphore);
  if (closed != 0) return closed;
  return Semaphore_Create(semaphore, initCount, maxCount);
}

WRes Semaphore_ReleaseN(CSemaphore* semaphore, UInt32 count) {
  return FromBool(ReleaseSemaphore(*semaphore, static_cast<LONG>(count), nullptr));
}
WRes Semaphore_Release1(CSemaphore* semaphore) { return Semaphore_ReleaseN(semaphore, 1); }

WRes CriticalSection_Init(CCriticalSection* section) {
  InitializeCriticalSection(section);
  return 0;
}

}  // extern "C"
