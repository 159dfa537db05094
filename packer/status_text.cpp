// SPDX-License-Identifier: Apache-2.0
#include "packer/status_text.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstring>
#include <cwchar>

#include "support/vm_status_table.h"

using velmora::VMStatus;

namespace {

#ifdef _WIN32
std::wstring SystemText(VMStatus code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
      reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (length == 0 || text == nullptr) return L"unknown status";
  std::wstring result(text, length);
  LocalFree(text);
  while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r' || result.back() == L'.' ||
                             result.back() == L' ')) {
    result.pop_back();
  }
  return result;
}

#else
// The Windows texts of the errors this system's failures are reported as.
std::wstring SystemText(VMStatus code) {
  struct Text {
    VMStatus Code;
    const wchar_t* Text;
  };
  static constexpr Text kTexts[] = {
      {2, L"File not found"},
      {3, L"Path not found"},
      {4, L"Too many open files"},
      {5, L"Access denied"},
      {17, L"Cannot move the file to a different disk drive"},
      {19, L"Write protected"},
      {32, L"Sharing violation"},
      {80, L"File exists"},
      {112, L"Disk full"},
      {145, L"Directory not empty"},
      {206, L"File name or extension is too long"},
      {1117, L"I/O device error"},
  };
  for (const Text& text : kTexts) {
    if (text.Code == code) return text.Text;
  }
  return L"unknown status";
}
#endif

}  // namespace

std::wstring DescribeStatus(VMStatus code) {
  wchar_t hex[16] = {};
  std::swprintf(hex, std::size(hex), L"0x%08X", code);
  for (const velmora::VMStatusRow& row : velmora::kStatusTable) {
    if (row.Code != code) continue;
    // The names are ASCII.
    return std::wstring(hex) + L" (" + std::wstring(row.Name, row.Name + std::strlen(row.Name)) + L")";
  }
  return std::wstring(hex) + L" (" + SystemText(code) + L")";
}
