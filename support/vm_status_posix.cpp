// SPDX-License-Identifier: Apache-2.0
// The last system error where the system reports errno values: the Windows
// error of the same meaning, so that both packers name a failure alike.
#include <cerrno>

#include "support/vm_status.h"

namespace velmora {

VMStatus LastErrorOr(VMStatus fallback) {
  struct Mapping {
    int Errno;
    VMStatus Windows;
  };
  static constexpr Mapping kMappings[] = {
      {ENOENT, 2},   {ENOTDIR, 3}, {EMFILE, 4},   {EACCES, 5},    {EPERM, 5},    {EISDIR, 5},
      {EROFS, 19},   {EBUSY, 32},  {EEXIST, 80},  {ENOSPC, 112},  {ENAMETOOLONG, 206},
      {ENOTEMPTY, 145}, {EXDEV, 17}, {EIO, 1117},
  };
  const int error = errno;
  for (const Mapping& mapping : kMappings) {
    if (mapping.Errno == error) return mapping.Windows;
  }
  return fallback;
}

}  // namespace velmora
