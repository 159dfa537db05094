// SPDX-License-Identifier: Apache-2.0
// Where an installer's payload begins: directly behind the PE image it
// starts with, computed as the packer computes it, so that the stub opens
// the archive there and nowhere else.
#pragma once

#include <windows.h>
#include <ole2.h>

#include "7zip/IStream.h"

// The end of the image at the start of `file`: the end of its headers or of
// its last section's data, whichever is later. False when `file` does not
// begin with a PE image (a plain archive).
[[nodiscard]] bool FindImageEnd(IInStream& file, UInt64& end);
