#include "tasks/delete_extracted_files.h"

#include <windows.h>

DeleteExtractedFiles::DeleteExtractedFiles() { Description = L"Extracted files are being deleted. Please wait..."; }

velmora::VMStatus DeleteExtractedFiles::run(std::uint32_t& exitCodeOut) {
  exitCodeOut = 0;
  // Not part of this build: the unpacked files stay, and the run says so.
  return ERROR_CALL_NOT_IMPLEMENTED;
}
