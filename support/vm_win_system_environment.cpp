// SPDX-License-Identifier: Apache-2.0
#include "support/vm_win_system_environment.h"

#include <windows.h>

#include "support/vm_handle.h"
#include "support/vm_win_system_library.h"

namespace velmora {

VMStatus VMWinUseSystemEnvironment() {
  using CreateBlockFn = BOOL(WINAPI*)(void** block, HANDLE token, BOOL inherit);
  using DestroyBlockFn = BOOL(WINAPI*)(void* block);
  VMUniqueModule userenv;
  VM_RETURN_IF_FAILED(VMWinLoadSystemLibrary(L"userenv.dll", userenv));
  const auto create = reinterpret_cast<CreateBlockFn>(
      reinterpret_cast<void*>(GetProcAddress(userenv.get(), "CreateEnvironmentBlock")));
  const auto destroy = reinterpret_cast<DestroyBlockFn>(
      reinterpret_cast<void*>(GetProcAddress(userenv.get(), "DestroyEnvironmentBlock")));
  VM_RETURN_LAST_ERROR_IF(create == nullptr || destroy == nullptr);
  void* block = nullptr;
  VM_RETURN_LAST_ERROR_IF(!create(&block, nullptr, FALSE));
  const BOOL replaced = SetEnvironmentStringsW(static_cast<wchar_t*>(block));
  const VMStatus result = replaced ? status::Ok : LastErrorOr();
  (void)destroy(block);
  return result;
}

}  // namespace velmora
