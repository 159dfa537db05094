// SPDX-License-Identifier: Apache-2.0
#include "tasks/process_tree_job.h"

using velmora::VMStatus;
namespace status = velmora::status;

namespace {

// How long the wait sleeps at most when a message about the job was lost.
constexpr DWORD kRecountMs = 1000;

// The job reports to `port`, and its processes may leave it on request.
bool Configure(HANDLE job, HANDLE port) {
  JOBOBJECT_ASSOCIATE_COMPLETION_PORT association{};
  association.CompletionKey = job;
  association.CompletionPort = port;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
  return SetInformationJobObject(job, JobObjectAssociateCompletionPortInformation, &association,
                                 sizeof(association)) &&
         SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits));
}

}  // namespace

VMStatus ProcessTreeJob::Create() {
  job_.reset(CreateJobObjectW(nullptr, nullptr));
  port_.reset(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
  if (job_ && port_ && Configure(job_.get(), port_.get())) return status::Ok;
  const VMStatus failure = velmora::LastErrorOr();
  Close();
  return failure;
}

VMStatus ProcessTreeJob::Assign(HANDLE process) {
  return AssignProcessToJobObject(job_.get(), process) ? status::Ok : velmora::LastErrorOr();
}

VMStatus ProcessTreeJob::WaitUntilOnly(DWORD stay) const {
  for (;;) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
    if (!QueryInformationJobObject(job_.get(), JobObjectBasicAccountingInformation, &accounting,
                                   sizeof(accounting), nullptr)) {
      return velmora::LastErrorOr();
    }
    if (accounting.ActiveProcesses <= stay) return status::Ok;
    // Any message (a process started or ended, the count at zero) or none
    // for a while: count again.
    DWORD message = 0;
    ULONG_PTR key = 0;
    OVERLAPPED* detail = nullptr;
    (void)GetQueuedCompletionStatus(port_.get(), &message, &key, &detail, kRecountMs);
  }
}
