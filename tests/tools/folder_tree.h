// SPDX-License-Identifier: Apache-2.0
// Removes what a test unpacked, read-only files and folders included.
#pragma once

#include <string>

namespace testing_tools {

// Deletes `path`, a file or a folder with everything below it; a missing
// path is fine.
void RemoveTree(const std::wstring& path);

}  // namespace testing_tools
