// SPDX-License-Identifier: Apache-2.0
// The exit codes a stub run may end with, besides a launched program's own:
// the statuses the stub names and the Windows errors it passes on unchanged.
// A campaign counts every other exit code as a fault.
#pragma once

#include <windows.h>

#include <cstdint>
#include <set>

#include "config/stub_status.h"

[[nodiscard]] inline bool IsDocumentedStatus(std::uint32_t code) {
  namespace s = velmora::status;
  namespace own = stub_status;
  static const std::set<std::uint32_t> kCodes = {
      s::Ok, s::Failed, s::FileSystemError, s::WaitTimedOut, s::Cancelled, s::AlreadyStarted, s::ProcessStillActive,
      s::RequiredItemMissing, s::RequiredOptionMissing, s::OptionValueMissing, s::UnknownOption, s::OutOfMemory,
      s::NoMoreEntries, s::ElementEmpty, s::MissingObject, s::NotFound, s::DuplicateEntry, s::InvalidValue,
      s::InvalidConfiguration, s::NoUniqueMatch, s::XmlParseError, s::ExitCodeUnavailable, s::UnexpectedArgument,
      s::FileOpenFailed, s::FileNotXml, s::FileWriteFailed, s::EntryLeftInPlace, s::DirectoryNotEmpty,
      s::AdminRequired, own::ConfigurationMissing, own::InvalidCommandLine, own::PlatformNotSupported,
      own::InvalidDirectoryName, own::ElevationRefused, own::PayloadDigestMismatch,
      // Windows errors of the file system, the resources and the process
      // start that reach the exit code as they are.
      ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_MEMORY, ERROR_WRITE_PROTECT,
      ERROR_SHARING_VIOLATION, ERROR_FILE_EXISTS, ERROR_INVALID_PARAMETER, ERROR_DISK_FULL, ERROR_INVALID_NAME,
      ERROR_DIR_NOT_EMPTY, ERROR_ALREADY_EXISTS, ERROR_FILENAME_EXCED_RANGE, ERROR_DIRECTORY, ERROR_CANCELLED,
      ERROR_RESOURCE_TYPE_NOT_FOUND, ERROR_RESOURCE_LANG_NOT_FOUND, 0x80070005,
      // An elevated Command's document without a class of the machine's.
      ERROR_NO_ASSOCIATION};
  // A C runtime error number from splitting the stub's own path.
  return kCodes.contains(code) || (code & 0xFFFF0000u) == s::CrtErrorBase;
}
