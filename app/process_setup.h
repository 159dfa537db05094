// SPDX-License-Identifier: Apache-2.0
// What the stub does to its process before anything else: where libraries may
// come from and where a crash leaves its dump.
#pragma once

// Safe to call more than once; only the first call counts.
void SetUpStubProcess();
