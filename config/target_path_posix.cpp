// SPDX-License-Identifier: Apache-2.0
// Path values for a packer on another system: their form is checked as the
// stub checks it, but no folder of this machine means anything to the
// installer's, so nothing is resolved.
#include "config/target_path.h"

#include "config/known_folder.h"

using velmora::VMStatus;
namespace status = velmora::status;

VMStatus ResolvePathValue(const std::wstring& value, std::wstring& resolved) {
  resolved.clear();
  if (value.starts_with(L"${")) {
    const std::size_t close = value.find(L'}');
    if (close == std::wstring::npos) return status::InvalidConfiguration;
    const std::wstring name = value.substr(2, close - 2);
    if (name != L"PROGRAM_FILES" && FindKnownFolderId(name) == nullptr) return status::InvalidConfiguration;
  }
  resolved = value;
  return status::Ok;
}

VMStatus MakeAbsolutePath(const std::wstring& path, std::wstring& absolute) {
  absolute = path;
  return status::Ok;
}

VMStatus GetExtractDefaultTargetPath(std::wstring& path) {
  path = L".";
  return status::Ok;
}

VMStatus GetLaunchDefaultTargetPath(std::wstring& path) {
  path = L"%TEMP%";
  return status::Ok;
}
