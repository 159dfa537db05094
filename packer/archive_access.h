// The few pieces of the archive library the packer's archive code shares.
#pragma once

#include "Common/MyCom.h"
#include "7zip/Archive/IArchive.h"

// A new handler of the 7z format, as compiled into the packer.
[[nodiscard]] CMyComPtr<IInArchive> NewSevenZipReader();
[[nodiscard]] CMyComPtr<IOutArchive> NewSevenZipWriter();
