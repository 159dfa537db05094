#include "packer/status_text.h"

#include <windows.h>

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
};
#undef VM_NAMED

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

}  // namespace

std::wstring DescribeStatus(VMStatus code) {
  wchar_t hex[16] = {};
  std::swprintf(hex, std::size(hex), L"0x%08X", code);
  for (const StatusName& entry : kNames) {
    if (entry.Status == code) return std::wstring(hex) + L" (" + entry.Name + L")";
  }
  return std::wstring(hex) + L" (" + SystemText(code) + L")";
}
