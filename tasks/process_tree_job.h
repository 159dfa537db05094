// SPDX-License-Identifier: Apache-2.0
// A job object that takes in a started program, so that the run can wait for
// every process the program starts as well as for the program itself.
#pragma once

#include <windows.h>

#include "support/vm_handle.h"
#include "support/vm_status.h"

class ProcessTreeJob {
 public:
  // An empty job whose processes may still leave it on their own request
  // (CREATE_BREAKAWAY_FROM_JOB): a program that asks for that would
  // otherwise fail to start its helper at all.
  [[nodiscard]] velmora::VMStatus Create();

  // Puts `process` into the job; from then on every process it starts is in
  // the job too. Before Windows 8 a process already in another job cannot
  // join a second one (ERROR_ACCESS_DENIED).
  [[nodiscard]] velmora::VMStatus Assign(HANDLE process);

  // Returns once no more than `stay` processes are left in the job: 0 for a
  // job that holds only the program and its descendants, 1 when this process
  // joined it too. The job's messages only wake the wait; the count it keeps
  // decides, since Windows does not promise to deliver every message.
  [[nodiscard]] velmora::VMStatus WaitUntilOnly(DWORD stay) const;

  // Whether there is a job to use; Close gives it up (its processes stay).
  explicit operator bool() const { return static_cast<bool>(job_); }
  void Close() {
    job_.reset();
    port_.reset();
  }

 private:
  velmora::VMUniqueKernelHandle job_;
  velmora::VMUniqueKernelHandle port_;
};
