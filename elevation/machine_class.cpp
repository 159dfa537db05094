// SPDX-License-Identifier: Apache-2.0
#include "elevation/machine_class.h"

#include <windows.h>

using velmora::VMStatus;

namespace {

constexpr wchar_t kMachineClasses[] = L"Software\\Classes\\";

// ".msi" for "C:\x\product.msi"; empty when the name has no extension.
std::wstring Extension(const std::wstring& path) {
  const std::size_t name = path.find_last_of(L"\\/:");
  const std::size_t dot = path.rfind(L'.');
  if (dot == std::wstring::npos || (name != std::wstring::npos && dot < name)) return {};
  return path.substr(dot);
}

}  // namespace

VMStatus OpenMachineClass(const std::wstring& document, velmora::VMUniqueRegKey& key) {
  key.reset();
  const std::wstring extension = Extension(document);
  if (extension.size() < 2) return ERROR_NO_ASSOCIATION;
  wchar_t name[256] = {};
  DWORD size = sizeof(name) - sizeof(wchar_t);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, (kMachineClasses + extension).c_str(), nullptr, RRF_RT_REG_SZ, nullptr, name,
                   &size) != ERROR_SUCCESS ||
      name[0] == L'\0') {
    return ERROR_NO_ASSOCIATION;
  }
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kMachineClasses + std::wstring(name)).c_str(), 0, KEY_READ, &opened) !=
      ERROR_SUCCESS) {
    return ERROR_NO_ASSOCIATION;
  }
  key.reset(opened);
  return velmora::status::Ok;
}
