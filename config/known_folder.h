// SPDX-License-Identifier: Apache-2.0
// Windows known folders by the names the configuration document uses.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include "Common/MyWindows.h"
#endif

#include <string>

// The identifier of a known folder named like its FOLDERID_ constant
// ("FOLDERID_LocalAppData"), letter case counting; nullptr for any other name.
[[nodiscard]] const GUID* FindKnownFolderId(const std::wstring& name);
