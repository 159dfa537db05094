// Unpacks the payload appended to the stub's own file into the target folder.
#pragma once

#include "tasks/task.h"

class ExtractFiles final : public Task {
 public:
  ExtractFiles();
  [[nodiscard]] velmora::VMStatus run(std::uint32_t& exitCodeOut) override;
};
