// SPDX-License-Identifier: Apache-2.0
#include "tests/harden/drive_snapshot.h"

#include "support/vm_handle.h"

namespace harden {
namespace {

std::uint64_t HashFile(const std::wstring& path) {
  velmora::VMUniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return 1;  // unreadable: the same answer before and after
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  static char buffer[1 << 16];
  DWORD read = 0;
  while (ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    for (DWORD i = 0; i < read; ++i) hash = (hash ^ static_cast<unsigned char>(buffer[i])) * 1099511628211ull;
  }
  return hash;
}

void List(const std::wstring& folder, const std::vector<std::wstring>& skipped, bool hashContents, Snapshot& out) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = folder + L"\\" + name;
    bool skip = false;
    for (const std::wstring& s : skipped) skip = skip || CompareStringOrdinal(s.c_str(), -1, path.c_str(), -1, TRUE) == CSTR_EQUAL;
    if (skip) continue;
    SnapshotEntry& entry = out[path];
    entry.Attributes = found.dwFileAttributes;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      List(path, skipped, hashContents, out);
    } else {
      entry.Modified = (ULONGLONG{found.ftLastWriteTime.dwHighDateTime} << 32) | found.ftLastWriteTime.dwLowDateTime;
      entry.Size = (ULONGLONG{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
      if (hashContents) entry.ContentHash = HashFile(path);
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

}  // namespace

Snapshot TakeSnapshot(const std::wstring& root, const std::vector<std::wstring>& skipped, bool hashContents) {
  Snapshot snapshot;
  List(root.back() == L'\\' ? root.substr(0, root.size() - 1) : root, skipped, hashContents, snapshot);
  return snapshot;
}

std::vector<std::wstring> SnapshotChanges(const Snapshot& before, const Snapshot& after, std::size_t limit) {
  std::vector<std::wstring> changes;
  auto note = [&](const std::wstring& path) {
    if (changes.size() < limit) changes.push_back(path);
  };
  for (const auto& [path, entry] : before) {
    const auto now = after.find(path);
    if (now == after.end() || !(now->second == entry)) note(path);
  }
  for (const auto& [path, entry] : after) {
    if (!before.contains(path)) note(path);
  }
  return changes;
}

}  // namespace harden
