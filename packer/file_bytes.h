// Whole files in and out of memory, for the inputs and the image the packer
// edits.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/vm_status.h"

// A file larger than `limit` bytes fails with InvalidValue.
[[nodiscard]] velmora::VMStatus ReadFileBytes(const std::wstring& path, std::uint64_t limit,
                                              std::vector<std::uint8_t>& bytes);

// Creates or truncates `path` and writes `bytes` into it.
[[nodiscard]] velmora::VMStatus WriteFileBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes);
