// SPDX-License-Identifier: Apache-2.0
#include "payload/item_path.h"

#include "support/vm_ascii_case.h"

namespace {

using velmora::VMEqualsIgnoringAsciiCase;
// Views of literals, so that no length is counted at run time.
using namespace std::string_view_literals;

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// An element such as ".", "..", "..." or ".. " that Windows resolves to the
// target folder or its parent once it has dropped trailing dots and spaces.
bool IsDotsOnly(std::wstring_view element) {
  std::size_t dots = 0;
  for (const wchar_t c : element) {
    if (c == L'.') {
      ++dots;
    } else if (c != L' ') {
      return false;
    }
  }
  return dots >= 1;
}

bool IsKeptByWindows(std::wstring_view element) {
  if (!element.empty() && (element.back() == L'.' || element.back() == L' ')) return false;
  for (const wchar_t c : element) {
    if (c < 0x20 || L"<>\"|?*"sv.find(c) != std::wstring_view::npos) return false;
  }
  return true;
}

// Windows compares the part of a name before its first dot, without the
// spaces in front of that dot, with the device names; so "nul.tar.gz" and
// "con ." are devices, while "console" and "com10" are ordinary files.
bool IsDeviceName(std::wstring_view element) {
  std::wstring_view base = element.substr(0, element.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.remove_suffix(1);
  for (const std::wstring_view device : {L"con"sv, L"prn"sv, L"aux"sv, L"nul"sv, L"conin$"sv, L"conout$"sv}) {
    if (VMEqualsIgnoringAsciiCase(base, device)) return true;
  }
  if (base.size() != 4) return false;
  if (!VMEqualsIgnoringAsciiCase(base.substr(0, 3), L"com"sv) &&
      !VMEqualsIgnoringAsciiCase(base.substr(0, 3), L"lpt"sv)) {
    return false;
  }
  const wchar_t digit = base[3];
  return (digit >= L'0' && digit <= L'9') || digit == L'\u00b9' || digit == L'\u00b2' || digit == L'\u00b3';
}

}  // namespace

ItemPathRisk FindItemPathRisk(std::wstring_view path) {
  if (path.size() >= kItemPathLimit) return ItemPathRisk::TooLong;
  if (!path.empty() && IsSeparator(path.front())) return ItemPathRisk::LeavesTarget;
  if (path.find(L':') != std::wstring_view::npos) return ItemPathRisk::LeavesTarget;
  ItemPathRisk risk = ItemPathRisk::None;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    const std::wstring_view element = path.substr(start, end - start);
    if (IsDotsOnly(element)) return ItemPathRisk::LeavesTarget;
    if (IsDeviceName(element)) {
      risk = ItemPathRisk::NamesDevice;
    } else if (risk == ItemPathRisk::None && !IsKeptByWindows(element)) {
      risk = ItemPathRisk::NotKeptByWindows;
    }
    start = end + 1;
  }
  return risk;
}

void ItemDiskPath(std::wstring_view path, std::wstring& disk) {
  disk.clear();
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    if (end > start) {
      if (!disk.empty()) disk += L'\\';
      disk.append(path.substr(start, end - start));
    }
    start = end + 1;
  }
}

void RestoreStoredBackslashes(std::wstring& path) {
  constexpr wchar_t kReportedBackslash = L'\uF05C';
  for (wchar_t& c : path) {
    if (c == kReportedBackslash) c = L'\\';
  }
}
