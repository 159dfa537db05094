// SPDX-License-Identifier: Apache-2.0
// The configuration loader, as the packer runs it, on any document.
#include <cstddef>
#include <cstdint>
#include <string>

#include "packer/config_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ConfigCheckResult checked;
  (void)CheckConfiguration(std::string(reinterpret_cast<const char*>(data), size), checked);
  return 0;
}
