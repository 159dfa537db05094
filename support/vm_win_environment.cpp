// SPDX-License-Identifier: Apache-2.0
#include "support/vm_win_environment.h"

#include <windows.h>

namespace velmora {

VMStatus VMWinExpandEnvironmentStrings(const std::wstring& text, std::wstring& result) {
  result.clear();
  const DWORD needed = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
  VM_RETURN_LAST_ERROR_IF(needed == 0);
  // The count includes the terminator; one more guards against a variable
  // that grows between the two calls being cut silently.
  std::wstring expanded(needed + 1, L'\0');
  const DWORD written = ExpandEnvironmentStringsW(text.c_str(), expanded.data(), needed + 1);
  VM_RETURN_LAST_ERROR_IF(written == 0);
  if (written > needed + 1) return ERROR_INSUFFICIENT_BUFFER;
  expanded.resize(written - 1);
  result = std::move(expanded);
  return status::Ok;
}

}  // namespace velmora
