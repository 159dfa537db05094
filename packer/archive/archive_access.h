// SPDX-License-Identifier: Apache-2.0
// The few pieces of the archive library the packer's archive code shares.
#pragma once

#include <string>

#include "Common/MyCom.h"
#include "Common/MyString.h"
#include "7zip/Archive/IArchive.h"

// A new handler of the 7z format, as compiled into the packer.
[[nodiscard]] CMyComPtr<IInArchive> NewSevenZipReader();
[[nodiscard]] CMyComPtr<IOutArchive> NewSevenZipWriter();

// `path` as the library's file streams take it: UTF-16 on Windows, UTF-8
// elsewhere.
[[nodiscard]] FString LibraryPath(const std::wstring& path);
