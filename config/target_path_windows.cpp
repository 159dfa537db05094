// SPDX-License-Identifier: Apache-2.0
#include "config/target_path.h"

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include <iterator>

#include "config/known_folder.h"
#include "support/vm_win_architecture.h"
#include "support/vm_win_environment.h"
#include "support/vm_win_guid.h"
#include "support/vm_win_long_path.h"
#include "support/vm_win_module_file_name.h"

using velmora::VMStatus;
namespace status = velmora::status;

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// The length of the root name: "C:" or "\\server\share"; 0 for none.
std::size_t RootNameLength(const std::wstring& path) {
  if (path.size() >= 2 && path[1] == L':' && ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'))) {
    return 2;
  }
  if (path.size() >= 3 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2])) {
    // Server, then share: the root name ends where the share name does.
    std::size_t end = 2;
    for (int part = 0; part < 2 && end < path.size(); ++part) {
      if (part == 1) ++end;
      while (end < path.size() && !IsSeparator(path[end])) ++end;
    }
    return end;
  }
  return 0;
}

VMStatus CurrentDirectory(std::wstring& directory) {
  const DWORD needed = GetCurrentDirectoryW(0, nullptr);
  if (needed == 0) return velmora::LastErrorOr(status::FileSystemError);
  std::wstring text(needed, L'\0');
  const DWORD written = GetCurrentDirectoryW(needed, text.data());
  if (written == 0) return velmora::LastErrorOr(status::FileSystemError);
  if (written >= needed) return status::Failed;
  text.resize(written);
  directory = std::move(text);
  return status::Ok;
}

// `base` followed by `relative`, with exactly the separator between them
// that `base` does not already end in.
std::wstring Join(const std::wstring& base, const std::wstring& relative) {
  if (relative.empty()) return base;
  if (base.empty() || IsSeparator(base.back())) return base + relative;
  return base + L'\\' + relative;
}

// Whether `path` is the Windows folder or lies below it. An installer that
// is started elevated gets the system folder as its working directory.
bool IsInWindowsFolder(const std::wstring& path) {
  wchar_t windows[MAX_PATH + 1] = {};
  const UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) return false;
  std::wstring folder(windows, length);
  while (!folder.empty() && IsSeparator(folder.back())) folder.pop_back();
  if (path.size() < folder.size() ||
      CompareStringOrdinal(path.c_str(), static_cast<int>(folder.size()), folder.c_str(),
                           static_cast<int>(folder.size()), TRUE) != CSTR_EQUAL) {
    return false;
  }
  return path.size() == folder.size() || IsSeparator(path[folder.size()]);
}

// The folder that holds the stub's own file, without a closing separator
// unless it is a drive's root.
VMStatus InstallerFolder(std::wstring& folder) {
  velmora::VMWinModuleFileName self;
  VM_RETURN_IF_FAILED(self.InitWithModuleHandle());
  const std::size_t separator = self.FullPath.find_last_of(L"\\/");
  if (separator == std::wstring::npos) return status::Failed;
  folder = self.FullPath.substr(0, separator);
  if (folder.size() == 2 && folder[1] == L':') folder += L'\\';
  return status::Ok;
}

}  // namespace

VMStatus ResolvePathValue(const std::wstring& value, std::wstring& resolved) {
  resolved.clear();
  std::wstring text = value;
  if (value.starts_with(L"${")) {
    const std::size_t close = value.find(L'}');
    if (close == std::wstring::npos) return status::InvalidConfiguration;
    const std::wstring name = value.substr(2, close - 2);
    const std::wstring rest = value.substr(close + 1);

    bool native = false;
    VM_RETURN_IF_FAILED(velmora::VMWinIsNativeProcess(GetCurrentProcess(), native));
    if (name == L"PROGRAM_FILES") {
      // Always the machine's own program folder: for the 32-bit stub on 64-bit
      // Windows, %ProgramFiles% names the 32-bit one.
      text = (native ? L"%ProgramFiles%" : L"%ProgramW6432%") + rest;
    } else {
      const GUID* id = FindKnownFolderId(name);
      if (id == nullptr) return status::InvalidConfiguration;
      PWSTR folder = nullptr;
      const HRESULT hr = SHGetKnownFolderPath(*id, KF_FLAG_CREATE | KF_FLAG_INIT, nullptr, &folder);
      if (FAILED(hr)) {
        CoTaskMemFree(folder);
        return static_cast<VMStatus>(hr);
      }
      text = folder + rest;
      CoTaskMemFree(folder);
    }
  }
  return velmora::VMWinExpandEnvironmentStrings(text, resolved);
}

VMStatus MakeAbsolutePath(const std::wstring& path, std::wstring& absolute) {
  absolute.clear();
  const std::size_t rootName = RootNameLength(path);
  const bool rootDirectory = rootName < path.size() && IsSeparator(path[rootName]);
  // A share has no drive-relative form: "\\server\share" names the share's
  // root, and completing it with the working directory would name another
  // folder.
  const bool uncRoot = rootName != 0 && IsSeparator(path[0]);
  if (rootName != 0 && (rootDirectory || uncRoot)) {
    absolute = path;
    return status::Ok;
  }
  std::wstring current;
  VM_RETURN_IF_FAILED(CurrentDirectory(current));
  const std::size_t currentRootName = RootNameLength(current);
  if (rootName == 0 && !rootDirectory) {
    absolute = Join(current, path);
  } else if (rootDirectory) {
    absolute = current.substr(0, currentRootName) + path;
  } else {
    // "D:Output": the drive of the path over the folders of the current
    // directory.
    absolute = Join(path.substr(0, rootName) + current.substr(currentRootName), path.substr(rootName));
  }
  return status::Ok;
}

VMStatus GetExtractDefaultTargetPath(std::wstring& path) {
  path.clear();
  std::wstring absolute;
  VM_RETURN_IF_FAILED(MakeAbsolutePath(L".", absolute));
  std::wstring reduced;
  VM_RETURN_IF_FAILED(velmora::VMWinFullPath(absolute, reduced));
  // Unpacking into the system folder would scatter the payload among the
  // system's own files, replacing any of the same name; the installer's own
  // folder is what such a user meant.
  if (IsInWindowsFolder(reduced)) return InstallerFolder(path);
  path = std::move(reduced);
  return status::Ok;
}

VMStatus GetLaunchDefaultTargetPath(std::wstring& path) {
  path.clear();
  wchar_t temp[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(static_cast<DWORD>(std::size(temp)), temp);
  // No temporary folder at all would put the folder, and its later deletion,
  // relative to the working directory.
  VM_RETURN_LAST_ERROR_IF(length == 0);
  if (length > MAX_PATH) return status::Failed;
  GUID guid{};
  const HRESULT hr = CoCreateGuid(&guid);
  if (FAILED(hr)) return static_cast<VMStatus>(hr);
  const std::wstring name = velmora::VMWinGuidToString(guid);
  // Without its GUID the path would be the temporary folder itself, which the
  // clean-up after the run would then delete.
  if (name.empty()) return status::Failed;
  // The temporary folder ends in a backslash.
  path = std::wstring(temp, length) + name;
  return status::Ok;
}
