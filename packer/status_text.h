// SPDX-License-Identifier: Apache-2.0
// Statuses as the packer prints them: "0xEE000051 (InvalidConfiguration)".
#pragma once

#include <string>

#include "support/vm_status.h"

// The code in hex followed by its name: the name of one of our own codes, or
// the system's text for a Windows error or an HRESULT.
[[nodiscard]] std::wstring DescribeStatus(velmora::VMStatus status);
