// SPDX-License-Identifier: Apache-2.0
// The system's own environment in place of the one a process inherited.
#pragma once

#include "support/vm_status.h"

namespace velmora {

// Replaces this process's environment variables with the block the system
// makes without a user (CreateEnvironmentBlock with no token, inheriting
// nothing): the machine's variables only, none a user set for himself.
// userenv.dll is loaded from the system folder for the call.
[[nodiscard]] VMStatus VMWinUseSystemEnvironment();

}  // namespace velmora
