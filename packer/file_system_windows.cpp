// SPDX-License-Identifier: Apache-2.0
// rand_s, the system's random numbers, is declared only on request.
#define _CRT_RAND_S
#include "packer/file_system.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <iterator>

#include "packer/input_file.h"
#include "support/vm_handle.h"
#include "support/vm_win_module_file_name.h"

using velmora::VMStatus;
using velmora::VMUniqueFile;
namespace status = velmora::status;

namespace {

// The temporary files in the making, for the console's Ctrl-C and close
// handler, which runs on a thread of its own while the packer works on.
constexpr int kTemporarySlots = 2;
constexpr std::size_t kTemporaryPathLimit = 32768;
wchar_t g_temporaries[kTemporarySlots][kTemporaryPathLimit];
volatile LONG g_temporaryUsed[kTemporarySlots];

BOOL WINAPI RemoveTemporaries(DWORD) {
  for (int i = 0; i < kTemporarySlots; ++i) {
    if (InterlockedExchange(&g_temporaryUsed[i], 0) != 0) DeleteFileW(g_temporaries[i]);
  }
  return FALSE;  // the default handler ends the process
}

void Track(const std::wstring& path) {
  static const bool installed = SetConsoleCtrlHandler(RemoveTemporaries, TRUE) != FALSE;
  (void)installed;
  for (int i = 0; i < kTemporarySlots; ++i) {
    if (g_temporaryUsed[i] != 0 || path.size() >= kTemporaryPathLimit) continue;
    std::copy(path.c_str(), path.c_str() + path.size() + 1, g_temporaries[i]);
    InterlockedExchange(&g_temporaryUsed[i], 1);
    return;
  }
}

void Untrack(const std::wstring& path) {
  for (int i = 0; i < kTemporarySlots; ++i) {
    if (g_temporaryUsed[i] != 0 && path == g_temporaries[i]) InterlockedExchange(&g_temporaryUsed[i], 0);
  }
}

}  // namespace

// A name nobody can guess, created new: a file planted under it makes the
// creation fail instead of being written through.
VMStatus CreateTemporaryFile(const std::wstring& beside, const std::wstring& suffix, std::wstring& path) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    unsigned int random[2] = {};
    if (rand_s(&random[0]) != 0 || rand_s(&random[1]) != 0) return status::Failed;
    wchar_t tag[20] = {};
    std::swprintf(tag, std::size(tag), L"%08x%08x", random[0], random[1]);
    path = beside + L".vm-sfxpack-" + tag + suffix;
    const VMUniqueFile file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file && GetLastError() == ERROR_FILE_EXISTS) continue;
    VM_RETURN_LAST_ERROR_IF(!file);
    Track(path);
    return status::Ok;
  }
  return ERROR_FILE_EXISTS;
}

VMStatus WriteFileBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
  const VMUniqueFile file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  VM_RETURN_LAST_ERROR_IF(!file);
  DWORD written = 0;
  VM_RETURN_LAST_ERROR_IF(!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
  return written == bytes.size() ? status::Ok : status::FileWriteFailed;
}

VMStatus AppendFile(const std::wstring& target, InputFile& source) {
  const VMUniqueFile output(
      CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER end{};
  VM_RETURN_LAST_ERROR_IF(!output || !SetFilePointerEx(output.get(), end, nullptr, FILE_END));
  VM_RETURN_IF_FAILED(source.ReadAll([&](const std::uint8_t* data, std::size_t size) {
    DWORD written = 0;
    VM_RETURN_LAST_ERROR_IF(!WriteFile(output.get(), data, static_cast<DWORD>(size), &written, nullptr));
    return written == size ? status::Ok : status::FileWriteFailed;
  }));
  VM_RETURN_LAST_ERROR_IF(!FlushFileBuffers(output.get()));
  return status::Ok;
}

VMStatus ReplaceFile(const std::wstring& from, const std::wstring& to) {
  VM_RETURN_LAST_ERROR_IF(!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
  Untrack(from);
  return status::Ok;
}

void RemoveFile(const std::wstring& path) {
  DeleteFileW(path.c_str());
  Untrack(path);
}

std::wstring FullPath(const std::wstring& path) {
  const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::wstring full(needed, L'\0');
  const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return path;
  full.resize(length);
  return full;
}

bool SameFile(const std::wstring& a, const std::wstring& b) {
  return !b.empty() && CompareStringOrdinal(FullPath(a).c_str(), -1, FullPath(b).c_str(), -1, TRUE) == CSTR_EQUAL;
}

bool ParentFolderExists(const std::wstring& path) {
  std::wstring parent = FullPath(path);
  parent.erase(parent.find_last_of(L"\\/") + 1);
  const DWORD attributes = GetFileAttributesW(parent.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool InsideFolder(const std::wstring& path, const std::wstring& folder) {
  std::wstring parent = FullPath(path);
  parent.erase(parent.find_last_of(L"\\/") + 1);
  std::wstring inside = FullPath(folder);
  if (inside.empty()) return false;
  if (inside.back() != L'\\' && inside.back() != L'/') inside += L'\\';
  return parent.size() >= inside.size() &&
         CompareStringOrdinal(parent.c_str(), static_cast<int>(inside.size()), inside.c_str(),
                              static_cast<int>(inside.size()), TRUE) == CSTR_EQUAL;
}

VMStatus GetPackerFolder(std::wstring& folder) {
  velmora::VMWinModuleFileName self;
  VM_RETURN_IF_FAILED(self.InitWithModuleHandle());
  folder = self.Drive + self.Directory;
  return status::Ok;
}
