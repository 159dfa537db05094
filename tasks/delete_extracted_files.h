// SPDX-License-Identifier: Apache-2.0
// Removes what a launch stub unpacked, after its command ran or failed.
#pragma once

#include <functional>
#include <memory>

#include "tasks/extraction_record.h"
#include "tasks/task.h"

class DeleteExtractedFiles final : public Task {
 public:
  DeleteExtractedFiles();
  // Never fails: whatever cannot be removed stays, and the run's status and
  // exit code stay those of the work before.
  [[nodiscard]] velmora::VMStatus run(std::uint32_t& exitCodeOut) override;

  // What the extraction made. With it, only that goes, whatever its
  // attributes; without it, the whole target folder. The clean-up first
  // closes the handles that kept the files locked.
  std::shared_ptr<ExtractionRecord> Record;

  // Called once every folder to delete is checked and held, before anything
  // is listed or deleted: the moment an attacker who swaps a folder for a
  // link would aim at, which tests take to do just that.
  std::function<void()> AfterCheck;
};
