// SPDX-License-Identifier: Apache-2.0
#include "support/vm_win_universal_name.h"

#include <windows.h>

#include <winnetwk.h>

#include <vector>

namespace velmora {

std::wstring VMWinUniversalName(const std::wstring& path) {
  if (path.size() < 3 || path[1] != L':' || path[2] != L'\\') return path;
  const wchar_t root[] = {path[0], L':', L'\\', L'\0'};
  if (GetDriveTypeW(root) != DRIVE_REMOTE) return path;
  std::vector<unsigned char> buffer(sizeof(UNIVERSAL_NAME_INFOW) + 1024 * sizeof(wchar_t));
  for (int attempt = 0; attempt < 2; ++attempt) {
    auto size = static_cast<DWORD>(buffer.size());
    const DWORD result = WNetGetUniversalNameW(path.c_str(), UNIVERSAL_NAME_INFO_LEVEL, buffer.data(), &size);
    if (result == NO_ERROR) {
      const wchar_t* name = reinterpret_cast<const UNIVERSAL_NAME_INFOW*>(buffer.data())->lpUniversalName;
      return name != nullptr && name[0] != L'\0' ? std::wstring(name) : path;
    }
    if (result != ERROR_MORE_DATA) break;
    buffer.resize(size);
  }
  // Not a share after all, or the network cannot tell: the path as it is.
  return path;
}

}  // namespace velmora
