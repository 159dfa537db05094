// SPDX-License-Identifier: Apache-2.0
#include "packer/archive/archive_access.h"

#include "7zip/Archive/7z/7zHandler.h"
#include "support/vm_utf_convert.h"

CMyComPtr<IInArchive> NewSevenZipReader() { return new NArchive::N7z::CHandler; }

CMyComPtr<IOutArchive> NewSevenZipWriter() { return new NArchive::N7z::CHandler; }

FString LibraryPath(const std::wstring& path) {
#ifdef _WIN32
  return FString(path.c_str());
#else
  return FString(velmora::VMUtf16ToUtf8(path).c_str());
#endif
}
