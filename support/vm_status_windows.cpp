// SPDX-License-Identifier: Apache-2.0
#include "support/vm_status.h"

#include <windows.h>

namespace velmora {

VMStatus LastErrorOr(VMStatus fallback) {
  const DWORD error = GetLastError();
  return error != ERROR_SUCCESS ? error : fallback;
}

}  // namespace velmora
