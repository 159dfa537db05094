// SPDX-License-Identifier: Apache-2.0
// Places a top-level window over the window that owns it, or in the middle of
// the work area when it has none that the user can see.
#pragma once

#include <windows.h>

// Centres `window` over its owner when that is visible and not minimised,
// else in the work area of the nearest monitor; either way the window ends up
// inside that monitor's work area. Size, Z order and activation stay.
void CenterWindow(HWND window);
