// SPDX-License-Identifier: Apache-2.0
// An existing installer re-checked the way the packer checks a new one: the
// image, its configuration document, its payload, and what follows it.
#pragma once

#include <string>
#include <vector>

#include "support/vm_status.h"

class ProgressLine;

// One line per finding in `lines`. The first unsound finding ends the check
// with its status, described in one line in `error`. `progress`, when
// given, follows the test decode of the payload. With `requireSignature`
// an installer without a certificate table behind its payload is unsound.
[[nodiscard]] velmora::VMStatus VerifyInstaller(const std::wstring& installer, std::vector<std::wstring>& lines,
                                                std::wstring& error, ProgressLine* progress = nullptr,
                                                bool requireSignature = false);
