// Removes the folder a launch stub unpacked into, after its command ran or
// failed.
#pragma once

#include "tasks/task.h"

class DeleteExtractedFiles final : public Task {
 public:
  DeleteExtractedFiles();
  [[nodiscard]] velmora::VMStatus run(std::uint32_t& exitCodeOut) override;
};
