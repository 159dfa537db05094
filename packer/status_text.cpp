// SPDX-License-Identifier: Apache-2.0
#include "packer/status_text.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <cwchar>

#include "config/stub_status.h"

using velmora::VMStatus;
namespace status = velmora::status;

namespace {

struct StatusName {
  VMStatus Status;
  const wchar_t* Name;
};

#define VM_NAMED(space, name) {space::name, L## #name}
constexpr StatusName kNames[] = {
    VM_NAMED(status, Failed),
    VM_NAMED(status, FileSystemError),
    VM_NAMED(status, WaitTimedOut),
    VM_NAMED(status, Cancelled),
    VM_NAMED(status, AlreadyStarted),
    VM_NAMED(status, ProcessStillActive),
    VM_NAMED(status, RequiredItemMissing),
    VM_NAMED(status, RequiredOptionMissing),
    VM_NAMED(status, OptionValueMissing),
    VM_NAMED(status, UnknownOption),
    VM_NAMED(status, OutOfMemory),
    VM_NAMED(status, NoMoreEntries),
    VM_NAMED(status, ElementEmpty),
    VM_NAMED(status, MissingObject),
    VM_NAMED(status, NotFound),
    VM_NAMED(status, DuplicateEntry),
    VM_NAMED(status, InvalidValue),
    VM_NAMED(status, InvalidConfiguration),
    VM_NAMED(status, NoUniqueMatch),
    VM_NAMED(status, XmlParseError),
    VM_NAMED(status, ExitCodeUnavailable),
    VM_NAMED(status, UnexpectedArgument),
    VM_NAMED(status, FileOpenFailed),
    VM_NAMED(status, FileNotXml),
    VM_NAMED(status, FileWriteFailed),
    VM_NAMED(status, EntryLeftInPlace),
    VM_NAMED(status, DirectoryNotEmpty),
    VM_NAMED(status, AdminRequired),
    VM_NAMED(stub_status, ConfigurationMissing),
    VM_NAMED(stub_status, InvalidCommandLine),
    VM_NAMED(stub_status, PlatformNotSupported),
    VM_NAMED(stub_status, InvalidDirectoryName),
    VM_NAMED(stub_status, ElevationRefused),
    VM_NAMED(stub_status, ItemPlaceTaken),
    VM_NAMED(stub_status, PayloadDigestMismatch),
};
#undef VM_NAMED

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
  for (const StatusName& entry : kNames) {
    if (entry.Status == code) return std::wstring(hex) + L" (" + entry.Name + L")";
  }
  return std::wstring(hex) + L" (" + SystemText(code) + L")";
}
