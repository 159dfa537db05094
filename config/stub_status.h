// SPDX-License-Identifier: Apache-2.0
// The stub's own status codes (0xEE002000 + n), named from their rows in
// support/vm_status_table.h. The support library's general codes live in
// support/vm_status.h; together they are the whole code space.
// The lowest of the stub's own layers holds them, so that the configuration,
// the tasks and the application all name them from here.
#pragma once

#include "support/vm_status.h"

namespace stub_status {
using velmora::VMStatus;
VM_STUB_STATUSES(VM_STATUS_CONSTANT)
}  // namespace stub_status
