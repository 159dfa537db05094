// SPDX-License-Identifier: Apache-2.0
// The size of the hardening campaign: VM_HARDEN_SCALE=full runs it at its
// full figures, anything else (or nothing) at the small size of the suite.
#pragma once

#include <cstdlib>
#include <string_view>

namespace testing_tools {

inline bool HardenAtFullScale() {
  const char* scale = std::getenv("VM_HARDEN_SCALE");
  return scale != nullptr && std::string_view(scale) == "full";
}

}  // namespace testing_tools
