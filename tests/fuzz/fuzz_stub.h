// SPDX-License-Identifier: Apache-2.0
// The stub the icon and version targets write into, read once from the file
// that VM_FUZZ_STUB names.
#pragma once

#include "packer/pe/pe_resources.h"

pe_resources::PeImage FuzzStub();
