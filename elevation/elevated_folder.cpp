// SPDX-License-Identifier: Apache-2.0
#include "elevation/elevated_folder.h"

#include <windows.h>

#include <objbase.h>
#include <sddl.h>

#include <vector>

#include "support/vm_handle.h"
#include "support/vm_win_guid.h"

using velmora::VMStatus;
namespace status = velmora::status;

namespace {

VMStatus RunsAsSystem(bool& system) {
  system = false;
  velmora::VMUniqueKernelHandle token;
  HANDLE opened = nullptr;
  VM_RETURN_LAST_ERROR_IF(!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened));
  token.reset(opened);
  DWORD size = 0;
  (void)GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  VM_RETURN_LAST_ERROR_IF(size == 0);
  std::vector<unsigned char> buffer(size);
  VM_RETURN_LAST_ERROR_IF(!GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size));
  system = IsWellKnownSid(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid, WinLocalSystemSid) != FALSE;
  return status::Ok;
}

}  // namespace

VMStatus ElevatedTempFolder(std::wstring& folder) {
  folder.clear();
  wchar_t windows[MAX_PATH] = {};
  const UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH);
  VM_RETURN_LAST_ERROR_IF(length == 0 || length >= MAX_PATH);
  bool system = false;
  VM_RETURN_IF_FAILED(RunsAsSystem(system));
  std::wstring path(windows, length);
  if (path.back() != L'\\') path += L'\\';
  // Only administrators can make or remove a folder in the Windows folder,
  // so what this finds stays so for the run.
  if (system) {
    const DWORD attributes = GetFileAttributesW((path + L"SystemTemp").c_str());
    system = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }
  folder = path + (system ? L"SystemTemp" : L"Temp");
  return status::Ok;
}

VMStatus ChooseElevatedFolder(std::wstring& folder) {
  folder.clear();
  std::wstring parent;
  VM_RETURN_IF_FAILED(ElevatedTempFolder(parent));
  GUID guid{};
  const HRESULT made = CoCreateGuid(&guid);
  if (FAILED(made)) return static_cast<VMStatus>(made);
  folder = parent + L'\\' + velmora::VMWinGuidToString(guid);
  return status::Ok;
}

VMStatus CreateElevatedFolder(std::wstring& folder) {
  std::wstring path = folder;
  if (path.empty()) VM_RETURN_IF_FAILED(ChooseElevatedFolder(path));
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  VM_RETURN_LAST_ERROR_IF(!ConvertStringSecurityDescriptorToSecurityDescriptorW(
      kElevatedFolderSecurity, SDDL_REVISION_1, &descriptor, nullptr));
  const velmora::VMUniqueLocal owner(descriptor);
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
  // Fails with ERROR_ALREADY_EXISTS where anything stands under the name.
  VM_RETURN_LAST_ERROR_IF(!CreateDirectoryW(path.c_str(), &attributes));
  folder = std::move(path);
  return status::Ok;
}
