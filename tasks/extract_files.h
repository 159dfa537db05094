// SPDX-License-Identifier: Apache-2.0
// Unpacks the payload appended to the stub's own file into the target folder.
#pragma once

#include <string>

#include <memory>

#include "tasks/extraction_record.h"
#include "payload/installer_file.h"
#include "tasks/task.h"

class ExtractFiles final : public Task {
 public:
  ExtractFiles();
  [[nodiscard]] velmora::VMStatus run(std::uint32_t& exitCodeOut) override;

  // Filled with what the extraction made, for the clean-up; may be null.
  std::shared_ptr<ExtractionRecord> Record;
  // An image without a payload digest is refused, not only one whose digest
  // does not match (the elevated instance).
  bool RequirePayloadDigest = false;
  // The open installer file to read the payload from; without it, the file
  // at the stub's own path.
  std::shared_ptr<const InstallerFile> Source;
};

// Finds the 7z archive that begins within the first 8 MiB of `archiveFile`
// and unpacks all its items into `targetFolder`, which is created with its
// missing parents. Items without a time get the file's own last-write time.
// Returns 0, the Windows error of a failed folder creation, or
// 0xEE000001 for everything that concerns the archive and its items. What
// was made on disk, the target folder and its parents included, is noted in
// `record` when one is given; with it, an extraction that fails part-way
// removes what it made before it returns (by identity, as the clean-up
// does), so the target is left as it was found, but for files the payload
// had replaced.
[[nodiscard]] velmora::VMStatus ExtractArchive(const std::wstring& archiveFile, const std::wstring& targetFolder,
                                               ExtractionRecord* record = nullptr);
// The same from the file open as `archive`, read from its start.
[[nodiscard]] velmora::VMStatus ExtractArchive(HANDLE archive, const std::wstring& targetFolder,
                                               ExtractionRecord* record);
