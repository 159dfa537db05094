// SPDX-License-Identifier: Apache-2.0
// The path of an archive item as the stub and the packer read it.
#pragma once

// The archive library's interfaces need the OLE declarations that the lean
// Windows headers leave out.
#ifdef _WIN32
#include <windows.h>
#include <ole2.h>
#endif

#include <string>

#include "7zip/Archive/IArchive.h"

// The stored path of item `index` (a stored `\` given back, see
// RestoreStoredBackslashes), empty for an item stored without one.
// For a path of kItemPathLimit characters or more the library reports no
// path at all, as for an unnamed item; such a path is taken from the raw
// name instead, so that the item path rule refuses the item rather than it
// being written under the default name. E_FAIL for a path that is not text.
[[nodiscard]] HRESULT ReadItemPath(IInArchive& archive, UInt32 index, std::wstring& path);
