// SPDX-License-Identifier: Apache-2.0
// The network path of a file on a mapped drive.
#pragma once

#include <string>

namespace velmora {

// `path` by its UNC name (\\server\share\...) when it lies on a drive letter
// mapped to a network share, else unchanged. Drive letters belong to the
// logon session that mapped them: an elevated process runs in another one
// and does not see them, while a UNC path names the same file for both.
[[nodiscard]] std::wstring VMWinUniversalName(const std::wstring& path);

}  // namespace velmora
