// SPDX-License-Identifier: Apache-2.0
#include "tasks/task_worker.h"

#include <process.h>

#include "support/vm_win_wow64_fs_redirection.h"

using velmora::VMStatus;
using velmora::VMWinLockHolder;
namespace status = velmora::status;

TaskWorker::~TaskWorker() {
  // The thread works on this object; it must not outlive it.
  if (thread_) (void)Join();
}

VMStatus TaskWorker::Start(HWND notifyWindow) {
  if (thread_) return status::AlreadyStarted;
  {
    VMWinLockHolder hold(lock_);
    WorkerState = WorkerStateCode::Starting;
    Status = status::Ok;
    StopRequested = false;
  }
  notifyWindow_ = notifyWindow;

  unsigned id = 0;
  const uintptr_t thread = _beginthreadex(nullptr, stackSize_, &ThreadMain, this, CREATE_SUSPENDED, &id);
  VMStatus result = status::Ok;
  if (thread == 0) {
    result = velmora::LastErrorOr();
  } else {
    thread_.reset(reinterpret_cast<HANDLE>(thread));
    threadId_ = id;
    // A thread that cannot be resumed would leave the run waiting forever;
    // it has not run a single instruction of ours, so it can be ended here.
    if (ResumeThread(thread_.get()) == static_cast<DWORD>(-1)) {
      result = velmora::LastErrorOr();
      TerminateThread(thread_.get(), result);
    }
  }
  if (result != status::Ok) {
    {
      VMWinLockHolder hold(lock_);
      WorkerState = WorkerStateCode::Idle;
      StopRequested = true;
    }
    (void)Join();
  }
  return result;
}

bool TaskWorker::Poll(VMStatus& runStatus) {
  bool running = false;
  VMStatus published = status::Ok;
  {
    VMWinLockHolder hold(lock_);
    running = thread_ && WaitForSingleObject(thread_.get(), 0) == WAIT_TIMEOUT;
    published = Status;
    // A published failure means the worker is on its way out.
    if (running && published != status::Ok) StopRequested = true;
  }
  if (running && published == status::Ok) return false;

  const VMStatus joined = Join();
  // A worker that cannot be joined must not pass for a successful run.
  runStatus = published != status::Ok ? published : joined;
  return true;
}

VMStatus TaskWorker::Join() {
  if (thread_) {
    DWORD wait = WAIT_TIMEOUT;
    while ((wait = WaitForSingleObject(thread_.get(), 1000)) == WAIT_TIMEOUT) {
    }
    if (wait == WAIT_FAILED) return velmora::LastErrorOr();
    if (wait != WAIT_OBJECT_0) return status::Failed;
    thread_.reset();
    threadId_ = 0;
  }
  VMWinLockHolder hold(lock_);
  WorkerState = WorkerStateCode::Joined;
  return status::Ok;
}

WorkerStateCode TaskWorker::GetWorkerState() {
  VMWinLockHolder hold(lock_);
  return WorkerState;
}

unsigned __stdcall TaskWorker::ThreadMain(void* self) {
  static_cast<TaskWorker*>(self)->RunTasks();
  return 0;
}

void TaskWorker::RunTasks() {
  {
    VMWinLockHolder hold(lock_);
    Status = status::Ok;
    WorkerState = WorkerStateCode::Running;
  }
  VMStatus firstFailure = status::Ok;
  {
    // A 32-bit stub on 64-bit Windows must unpack into, start programs from
    // and delete in the real system folders, so redirection is off for this
    // thread while the tasks run. If it cannot be switched off, no task runs
    // and that failure is the run's result rather than a silent success.
    velmora::VMWinWow64FsRedirection redirection;
    firstFailure = redirection.Status();
    if (firstFailure == status::Ok) firstFailure = RunTaskList();
  }
  VMWinLockHolder hold(lock_);
  Status = firstFailure;
  WorkerState = WorkerStateCode::Finished;
}

VMStatus TaskWorker::RunTaskList() {
  VMStatus firstFailure = status::Ok;
  for (std::size_t i = 0; i < tasks_.size(); ++i) {
    Task& task = *tasks_[i];
    if (firstFailure != status::Ok && !task.RunAfterFailure) continue;

    const DWORD start = GetTickCount();
    // Posted before run() so the dialog is in the task's state while it runs.
    PostMessageW(notifyWindow_, WM_TASK_PROGRESS, task.HideProgress ? 0 : 1, 0);

    std::uint32_t exitCode = 0;
    const VMStatus result = task.run(exitCode);
    // Unsigned difference: a wrap of the tick counter does no harm.
    while (GetTickCount() - start < task.MinimumDurationMs) Sleep(100);

    if (ExitCode == 0) ExitCode = exitCode;
    if (result != status::Ok && firstFailure == status::Ok) firstFailure = result;
  }
  return firstFailure;
}
