// SPDX-License-Identifier: Apache-2.0
// The exit codes a stub run may end with, besides a launched program's own:
// the statuses whose row in support/vm_status_table.h says they may, and the
// Windows errors the stub passes on unchanged. Every campaign counts every
// other exit code as a fault.
#pragma once

#include <windows.h>

#include <cstdint>
#include <set>

#include "support/vm_status.h"

[[nodiscard]] inline bool IsDocumentedStatus(std::uint32_t code) {
  for (const velmora::VMStatusRow& row : velmora::kStatusTable) {
    if (row.Code == code) return row.ExitCode;
  }
  static const std::set<std::uint32_t> kWindowsErrors = {
      // Errors of the file system, the resources and the process start that
      // reach the exit code as they are.
      ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_MEMORY, ERROR_WRITE_PROTECT,
      ERROR_SHARING_VIOLATION, ERROR_HANDLE_DISK_FULL, ERROR_FILE_EXISTS, ERROR_INVALID_PARAMETER, ERROR_DISK_FULL,
      ERROR_INVALID_NAME, ERROR_DIR_NOT_EMPTY, ERROR_ALREADY_EXISTS, ERROR_BAD_EXE_FORMAT, ERROR_FILENAME_EXCED_RANGE,
      ERROR_DIRECTORY, 740 /* ERROR_ELEVATION_REQUIRED */, ERROR_CANCELLED, ERROR_RESOURCE_TYPE_NOT_FOUND,
      ERROR_RESOURCE_LANG_NOT_FOUND, 0x80070005,
      // An elevated Command's document without a class of the machine's.
      ERROR_NO_ASSOCIATION};
  // A C runtime error number from splitting the stub's own path.
  return kWindowsErrors.contains(code) || (code & 0xFFFF0000u) == velmora::status::CrtErrorBase;
}
