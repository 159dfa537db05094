// SPDX-License-Identifier: Apache-2.0
// The full path of the running program and its four parts.
#pragma once

#include <string>

#include "support/vm_status.h"

namespace velmora {

class VMWinModuleFileName {
 public:
  std::wstring FullPath;
  std::wstring Drive;      // "C:", or empty for a UNC path
  std::wstring Directory;  // with its trailing backslash
  std::wstring FileName;   // without extension
  std::wstring Extension;  // with its dot

  // Fills every field for the program's own file.
  [[nodiscard]] VMStatus InitWithModuleHandle();
  // Splits FullPath into the other four fields. A part too long for its
  // buffer (a directory beyond 255 characters, say) fails with
  // status::FromCrtError(ERANGE).
  [[nodiscard]] VMStatus InitPathComponents();
};

}  // namespace velmora
