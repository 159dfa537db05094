// SPDX-License-Identifier: Apache-2.0
// GUIDs as text.
#pragma once

#include <windows.h>

#include <string>

namespace velmora {

// Registry form with braces and upper-case digits, 38 characters:
// {0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}. Empty when the conversion fails.
[[nodiscard]] std::wstring VMWinGuidToString(const GUID& guid);

}  // namespace velmora
