// Windows known folders by the names the configuration document uses.
#pragma once

#include <windows.h>

#include <string>

// The identifier of a known folder named like its FOLDERID_ constant
// ("FOLDERID_LocalAppData"), letter case counting; nullptr for any other name.
[[nodiscard]] const GUID* FindKnownFolderId(const std::wstring& name);
