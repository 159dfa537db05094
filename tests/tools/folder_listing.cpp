// SPDX-License-Identifier: Apache-2.0
#include "tests/tools/folder_listing.h"

namespace testing_tools {
namespace {

void ListInto(const std::wstring& root, const std::wstring& relative, std::map<std::wstring, ListedEntry>& out) {
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((root + L"\\" + relative + L"*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = relative + name;
    ListedEntry& entry = out[path];
    entry.Attributes = found.dwFileAttributes & kKeptAttributes;
    entry.Modified = (ULONGLONG{found.ftLastWriteTime.dwHighDateTime} << 32) | found.ftLastWriteTime.dwLowDateTime;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ListInto(root, path + L"\\", out);
    } else {
      entry.Content = ReadWholeFile(root + L"\\" + path);
    }
  } while (FindNextFileW(find, &found));
  FindClose(find);
}

}  // namespace

std::map<std::wstring, ListedEntry> ListFolder(const std::wstring& root) {
  std::map<std::wstring, ListedEntry> listing;
  ListInto(root, L"", listing);
  return listing;
}

std::string ReadWholeFile(const std::wstring& path) {
  std::string data;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return data;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) data.append(buffer, read);
  CloseHandle(file);
  return data;
}

void WriteWholeFile(const std::wstring& path, const std::string& data) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
  CloseHandle(file);
}

}  // namespace testing_tools
