#include "tasks/extract_files.h"

#include <windows.h>

ExtractFiles::ExtractFiles() { Description = L"Files are being extracted. Please wait..."; }

velmora::VMStatus ExtractFiles::run(std::uint32_t& exitCodeOut) {
  exitCodeOut = 0;
  // The archive reader is not part of this build. Failing here keeps the
  // stub from ending with success after unpacking nothing.
  return ERROR_CALL_NOT_IMPLEMENTED;
}
