#include "packer/archive_access.h"

#include "7zip/Archive/7z/7zHandler.h"

CMyComPtr<IInArchive> NewSevenZipReader() { return new NArchive::N7z::CHandler; }

CMyComPtr<IOutArchive> NewSevenZipWriter() { return new NArchive::N7z::CHandler; }
