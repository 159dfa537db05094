// SPDX-License-Identifier: Apache-2.0
#include "tasks/extraction_record.h"

#include <windows.h>

#include <string_view>

std::wstring PathKey(const std::wstring& path) {
  // The long form names the same places: "\\?\C:\x" is "C:\x" and
  // "\\?\UNC\server\x" is "\\server\x".
  std::wstring_view rest = path;
  std::wstring key;
  if (rest.starts_with(L"\\\\?\\UNC\\")) {
    rest.remove_prefix(8);
    key = L"\\\\";
  } else if (rest.starts_with(L"\\\\?\\")) {
    rest.remove_prefix(4);
  } else if (rest.starts_with(L"\\\\")) {
    rest.remove_prefix(2);
    key = L"\\\\";
  }
  const std::size_t prefix = key.size();
  key.reserve(path.size());
  for (wchar_t c : rest) {
    if (c == L'/') c = L'\\';
    if (c == L'\\' && key.size() > prefix && key.back() == L'\\') continue;
    key += c;
  }
  while (key.size() > 1 && key.back() == L'\\') key.pop_back();
  if (!key.empty()) CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
  return key;
}

void ExtractionRecord::AddFolder(const std::wstring& path) {
  if (folderKeys_.insert(PathKey(path)).second) folders_.push_back({path, IdentityOfPath(path, true)});
}

void ExtractionRecord::AddFile(const std::wstring& path, HANDLE file) {
  // An identity that cannot be read stays unknown, and the clean-up then
  // leaves the file rather than guess.
  EntryIdentity identity;
  BY_HANDLE_FILE_INFORMATION information;
  if (!ReadEntry(file, identity, information)) identity = {};
  // A later item of the same name replaced the earlier file.
  const auto [known, added] = fileKeys_.try_emplace(PathKey(path), files_.size());
  if (added) {
    files_.push_back({path, identity});
  } else {
    files_[known->second].Identity = identity;
  }
}

bool ExtractionRecord::Wrote(const std::wstring& path) const {
  const std::wstring key = PathKey(path);
  return fileKeys_.count(key) != 0 || folderKeys_.count(key) != 0;
}

velmora::VMStatus ExtractionRecord::Lock(const std::wstring& path) {
  velmora::VMUniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
  VM_RETURN_LAST_ERROR_IF(!file);
  locks_.push_back(std::move(file));
  return velmora::status::Ok;
}
