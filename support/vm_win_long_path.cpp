// SPDX-License-Identifier: Apache-2.0
#include "support/vm_win_long_path.h"

#include <windows.h>

#include <algorithm>
#include <string_view>
#include <utility>

namespace velmora {

namespace {

constexpr std::wstring_view kLongPrefix = L"\\\\?\\";
constexpr std::wstring_view kLongUncPrefix = L"\\\\?\\UNC\\";

}  // namespace

VMStatus VMWinFullPath(const std::wstring& path, std::wstring& fullPath) {
  fullPath.clear();
  const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  VM_RETURN_LAST_ERROR_IF(needed == 0);
  std::wstring full(needed, L'\0');
  const DWORD written = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  VM_RETURN_LAST_ERROR_IF(written == 0);
  if (written >= needed) return status::Failed;
  full.resize(written);
  fullPath = std::move(full);
  return status::Ok;
}

VMStatus VMWinLongPath(const std::wstring& path, std::wstring& longPath) {
  longPath.clear();
  if (path.starts_with(kLongPrefix)) {
    longPath = path;
    return status::Ok;
  }
  std::wstring full;
  VM_RETURN_IF_FAILED(VMWinFullPath(path.empty() ? L"." : path, full));
  if (full.starts_with(L"\\\\.\\")) {
    // "\\.\C:\x" names the same place as "\\?\C:\x".
    longPath = std::wstring(kLongPrefix) + full.substr(kLongPrefix.size());
  } else if (full.starts_with(L"\\\\")) {
    // "\\server\share\x" becomes "\\?\UNC\server\share\x".
    longPath = std::wstring(kLongUncPrefix) + full.substr(2);
  } else {
    longPath = std::wstring(kLongPrefix) + full;
  }
  return status::Ok;
}

std::wstring VMWinPlainPathWherePossible(const std::wstring& path) {
  std::wstring plain;
  if (path.starts_with(kLongUncPrefix)) {
    plain = L"\\\\" + path.substr(kLongUncPrefix.size());
  } else if (path.starts_with(kLongPrefix)) {
    plain = path.substr(kLongPrefix.size());
  } else {
    return path;
  }
  // A plain path that Windows would rewrite leads somewhere else.
  std::wstring full;
  if (plain.size() >= MAX_PATH || VMWinFullPath(plain, full) != status::Ok || full != plain) return path;
  return plain;
}

std::size_t VMWinLongPathRootLength(const std::wstring& longPath) {
  if (!longPath.starts_with(kLongUncPrefix)) {
    // "\\?\C:\": the prefix, the drive and its separator.
    return std::min(longPath.size(), kLongPrefix.size() + 3);
  }
  // Past the server's and the share's names and their separators.
  std::size_t end = kLongUncPrefix.size();
  for (int part = 0; part < 2 && end < longPath.size(); ++part) {
    end = longPath.find(L'\\', end);
    end = end == std::wstring::npos ? longPath.size() : end + 1;
  }
  return end;
}

}  // namespace velmora
