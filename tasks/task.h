// SPDX-License-Identifier: Apache-2.0
// One step of the stub's work: unpack the payload, run the command, remove the
// unpacked files. Tasks run one after another on the worker thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "support/vm_status.h"

class Task {
 public:
  virtual ~Task() = default;

  // Runs the task once, on the worker thread. `exitCodeOut` receives the exit
  // code of a program the task started, else stays 0.
  [[nodiscard]] virtual velmora::VMStatus run(std::uint32_t& exitCodeOut) = 0;

  [[nodiscard]] std::wstring GetTargetFolder() const { return TargetFolder; }

  // The wait text of the task; set by the concrete task's constructor.
  std::wstring Description;
  // These are set by the run sequence before the worker starts and are read
  // only afterwards.
  std::wstring TargetFolder;
  bool HideProgress = false;
  std::uint32_t MinimumDurationMs = 0;
  bool RunAfterFailure = false;
};

// A new task of type T, owned as every task is. Made as a Task, every task
// type shares one control block type, which deletes through the virtual
// destructor; std::make_shared would add one per task type, each with its
// own code, table and type name in the stub.
template <typename T>
[[nodiscard]] std::shared_ptr<T> MakeTask() {
  return std::static_pointer_cast<T>(std::shared_ptr<Task>(static_cast<Task*>(new T)));
}
