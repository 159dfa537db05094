// SPDX-License-Identifier: Apache-2.0
#include "tests/tools/native_libraries.h"

#include <windows.h>

namespace testing_tools {

PreferNativeLibraries::PreferNativeLibraries(const std::wstring& program, const std::vector<std::wstring>& libraries)
    : key_(L"Software\\Wine\\AppDefaults\\" + program + L"\\DllOverrides") {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return;
  }
  constexpr wchar_t kOrder[] = L"native,builtin";
  ok_ = true;
  for (std::wstring name : libraries) {
    // Wine names a .dll without its extension, other modules (.drv) with it.
    if (name.size() > 4 && _wcsicmp(name.c_str() + name.size() - 4, L".dll") == 0) name.resize(name.size() - 4);
    ok_ = RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(kOrder), sizeof(kOrder)) ==
              ERROR_SUCCESS &&
          ok_;
  }
  RegCloseKey(key);
}

PreferNativeLibraries::~PreferNativeLibraries() { RegDeleteKeyW(HKEY_CURRENT_USER, key_.c_str()); }

}  // namespace testing_tools
