// SPDX-License-Identifier: Apache-2.0
// The worker thread that runs the task list, and what the user-interface
// thread needs to follow it: the run's first failure, the first non-zero exit
// code, and which task is running.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "support/vm_handle.h"
#include "support/vm_status.h"
#include "support/vm_win_lock.h"
#include "tasks/task.h"

// Posted to the notification window before each task: wParam 1 shows the
// progress dialog, 0 hides it.
inline constexpr UINT WM_TASK_PROGRESS = WM_APP + 1;

enum class WorkerStateCode : std::int32_t {
  Idle = 0,
  Starting = 1,
  Running = 2,
  Finished = 3,
  Joined = 4,
};

class TaskWorker {
 public:
  using TaskList = std::vector<std::shared_ptr<Task>>;

  TaskWorker() = default;
  ~TaskWorker();
  TaskWorker(const TaskWorker&) = delete;
  TaskWorker& operator=(const TaskWorker&) = delete;

  // Complete before Start; not touched while the worker runs.
  TaskList& Tasks() { return tasks_; }

  // Starts the worker thread, which reports task starts to `notifyWindow`.
  [[nodiscard]] velmora::VMStatus Start(HWND notifyWindow);

  // One poll of the user-interface thread. Returns true once the worker has
  // finished and been joined; `runStatus` then holds the run's status.
  [[nodiscard]] bool Poll(velmora::VMStatus& runStatus);

  // Waits for the worker thread to end and releases it.
  [[nodiscard]] velmora::VMStatus Join();

  // The first non-zero exit code a task reported; read after the join.
  [[nodiscard]] std::uint32_t GetExitCode() const { return ExitCode; }
  [[nodiscard]] WorkerStateCode GetWorkerState();

 private:
  static unsigned __stdcall ThreadMain(void* self);
  void RunTasks();
  [[nodiscard]] velmora::VMStatus RunTaskList();

  velmora::VMUniqueKernelHandle thread_;
  unsigned threadId_ = 0;
  unsigned stackSize_ = 0;
  WorkerStateCode WorkerState = WorkerStateCode::Idle;
  velmora::VMStatus Status = velmora::status::Ok;
  bool StopRequested = false;
  velmora::VMWinCriticalSection lock_;
  TaskList tasks_;
  std::uint32_t ExitCode = 0;
  HWND notifyWindow_ = nullptr;
};
