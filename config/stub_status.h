// SPDX-License-Identifier: Apache-2.0
// The stub's own status codes (0xEE002000 + n). The support library's general
// codes live in support/vm_status.h; together they are the whole code space.
// The lowest of the stub's own layers holds them, so that the configuration,
// the tasks and the application all name them from here.
#pragma once

#include "support/vm_status.h"

namespace stub_status {
using velmora::VMStatus;
inline constexpr VMStatus ConfigurationMissing = 0xEE002002;
inline constexpr VMStatus InvalidCommandLine = 0xEE002003;
inline constexpr VMStatus PlatformNotSupported = 0xEE002004;
inline constexpr VMStatus InvalidDirectoryName = 0xEE002005;
inline constexpr VMStatus ElevationRefused = 0xEE002006;
// A launch run found an entry at the place of a payload item in its target.
inline constexpr VMStatus ItemPlaceTaken = 0xEE002007;
// The payload is not the one the image's digest names, or an elevated
// instance's image carries no digest: nothing was unpacked or run.
inline constexpr VMStatus PayloadDigestMismatch = 0xEE002008;
}  // namespace stub_status
