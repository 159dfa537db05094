// SPDX-License-Identifier: Apache-2.0
// Environment-variable expansion (%NAME% references).
#pragma once

#include <string>

#include "support/vm_status.h"

namespace velmora {

// References to variables that do not exist stay as written.
[[nodiscard]] VMStatus VMWinExpandEnvironmentStrings(const std::wstring& text, std::wstring& result);

}  // namespace velmora
