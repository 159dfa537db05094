// SPDX-License-Identifier: Apache-2.0
// The machine's native processor architecture and whether a process runs
// natively or under emulation (WOW64).
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdint>

#include "support/vm_status.h"

namespace velmora {

// Codes as the configuration document names them: "x86", "x64", "IA64",
// "ARM", "ARM64".
enum class ProcessorArchitecture : std::uint32_t {
  Unknown = 0,
  X86 = 1,
  X64 = 2,
  IA64 = 3,
  ARM = 4,
  ARM64 = 5,
};

#ifdef _WIN32
[[nodiscard]] ProcessorArchitecture VMWinGetNativeArchitecture();

// `native` is true when the process runs on the machine's own architecture.
[[nodiscard]] VMStatus VMWinIsNativeProcess(HANDLE process, bool& native);
#endif

}  // namespace velmora
