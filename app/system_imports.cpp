// SPDX-License-Identifier: Apache-2.0
#include "app/system_imports.h"

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <oleauto.h>
#include <shellapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <type_traits>

#include "support/vm_trace.h"
#include "support/vm_win_system_library.h"

namespace {

// Every function the stub calls outside kernel32.dll and msvcrt.dll: its
// library, its name and the bytes its arguments take on the stack, which
// complete the name of the 32-bit import pointer (__imp__MessageBoxW@16).
// A function missing here shows up again as a static import of its library;
// the stub's process test catches that.
#define VM_SYSTEM_IMPORTS(X)                                        \
  X(Advapi32, ConvertStringSecurityDescriptorToSecurityDescriptorW, 16) \
  X(Advapi32, GetTokenInformation, 20)                               \
  X(Advapi32, IsWellKnownSid, 8)                                     \
  X(Advapi32, OpenProcessToken, 12)                                  \
  X(Advapi32, RegCloseKey, 4)                                        \
  X(Advapi32, RegGetValueW, 28)                                      \
  X(Advapi32, RegOpenKeyExW, 20)                                     \
  X(Comctl32, InitCommonControlsEx, 4)    \
  X(Ole32, CoCreateGuid, 4)               \
  X(Ole32, CoInitialize, 4)               \
  X(Ole32, CoInitializeEx, 8)             \
  X(Ole32, CoTaskMemFree, 4)              \
  X(Ole32, CoUninitialize, 0)             \
  X(Ole32, OleInitialize, 4)              \
  X(Ole32, OleUninitialize, 0)            \
  X(Ole32, StringFromGUID2, 12)           \
  X(OleAut32, SysAllocString, 4)          \
  X(OleAut32, SysAllocStringByteLen, 8)   \
  X(OleAut32, SysAllocStringLen, 8)       \
  X(OleAut32, SysFreeString, 4)           \
  X(OleAut32, SysStringLen, 4)            \
  X(OleAut32, VariantClear, 4)            \
  X(OleAut32, VariantCopy, 8)             \
  X(Shell32, CommandLineToArgvW, 8)       \
  X(Shell32, SHBrowseForFolderW, 4)       \
  X(Shell32, SHGetKnownFolderPath, 16)    \
  X(Shell32, SHGetPathFromIDListW, 8)     \
  X(Shell32, SHGetSpecialFolderPathW, 16) \
  X(Shell32, SHParseDisplayName, 20)      \
  X(Shell32, ShellExecuteExW, 4)          \
  X(Shell32, ShellExecuteW, 24)           \
  X(User32, CharUpperBuffW, 8)            \
  X(User32, CharUpperW, 4)                \
  X(User32, CreateDialogParamW, 20)       \
  X(User32, CreateWindowExW, 48)          \
  X(User32, DefWindowProcW, 16)           \
  X(User32, DestroyWindow, 4)             \
  X(User32, DialogBoxParamW, 20)          \
  X(User32, DispatchMessageW, 4)          \
  X(User32, EndDialog, 8)                 \
  X(User32, GetActiveWindow, 0)           \
  X(User32, GetClientRect, 8)             \
  X(User32, GetDlgItem, 8)                \
  X(User32, GetMessageW, 16)              \
  X(User32, GetMonitorInfoW, 8)           \
  X(User32, GetParent, 4)                 \
  X(User32, GetWindow, 8)                 \
  X(User32, GetWindowLongW, 8)            \
  X(User32, GetWindowRect, 8)             \
  X(User32, GetWindowTextLengthW, 4)      \
  X(User32, GetWindowTextW, 12)           \
  X(User32, InvalidateRect, 12)           \
  X(User32, IsDialogMessageW, 8)          \
  X(User32, IsIconic, 4)                  \
  X(User32, IsWindowVisible, 4)           \
  X(User32, KillTimer, 8)                 \
  X(User32, MapWindowPoints, 16)          \
  X(User32, MessageBoxW, 16)              \
  X(User32, MonitorFromWindow, 8)         \
  X(User32, OffsetRect, 12)               \
  X(User32, PostMessageW, 16)             \
  X(User32, PostQuitMessage, 4)           \
  X(User32, RegisterClassExW, 4)          \
  X(User32, SendMessageW, 16)             \
  X(User32, SetTimer, 16)                 \
  X(User32, SetWindowLongW, 12)           \
  X(User32, SetWindowPos, 28)             \
  X(User32, SetWindowTextW, 8)            \
  X(User32, ShowWindow, 8)                \
  X(User32, TranslateMessage, 4)          \
  X(User32, UnregisterClassW, 8)

enum Library : unsigned char { Advapi32, Comctl32, Ole32, OleAut32, Shell32, User32, kNoLibrary };
// By bare name: the manifest then redirects comctl32.dll to version 6.
constexpr const wchar_t* kLibraryNames[] = {L"advapi32.dll", L"comctl32.dll", L"ole32.dll",
                                            L"oleaut32.dll", L"shell32.dll",  L"user32.dll"};

// A reference goes as a pointer; every argument takes whole 4-byte slots.
template <typename Argument>
constexpr unsigned kSlotBytes = std::is_reference_v<Argument> ? sizeof(void*) : (sizeof(Argument) + 3) & ~3u;
template <typename Result, typename... Arguments>
constexpr unsigned StackBytes(Result(WINAPI*)(Arguments...)) {
  return (0u + ... + kSlotBytes<Arguments>);
}

}  // namespace

// The import pointers themselves, under the names the compiler calls through,
// and a jump through each under the function's own name, as an import library
// has it: the link-time optimiser asks for that name before it settles on the
// pointer, and the linker would otherwise take the import library's.
#define VM_DEFINE_IMPORT(library, name, bytes)                                          \
  static_assert(StackBytes(static_cast<decltype(&::name)>(nullptr)) == (bytes), #name); \
  void* vm_import_##name asm("__imp__" #name "@" #bytes) = nullptr;                    \
  [[gnu::naked]] void vm_jump_##name() asm("_" #name "@" #bytes);                     \
  void vm_jump_##name() { asm("jmp *__imp__" #name "@" #bytes); }
VM_SYSTEM_IMPORTS(VM_DEFINE_IMPORT)

namespace {

struct Import {
  Library From;
  const char* Name;
  void** Pointer;
};
#define VM_IMPORT_ENTRY(library, name, bytes) {library, #name, &vm_import_##name},
constexpr Import kImports[] = {VM_SYSTEM_IMPORTS(VM_IMPORT_ENTRY)};

// Loads `library` from the system folder. The module stays loaded for the
// rest of the process, as a static import would.
velmora::VMStatus LoadFromSystemFolder(Library library, HMODULE& module) {
  const wchar_t* name = kLibraryNames[library];
  module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module != nullptr) return velmora::status::Ok;
  // Windows 7 without its loader update knows no search flags: the full path
  // in the system folder then.
  if (GetLastError() != ERROR_INVALID_PARAMETER) return velmora::LastErrorOr();
  velmora::VMUniqueModule loaded;
  VM_RETURN_IF_FAILED(velmora::VMWinLoadSystemLibrary(name, loaded));
  module = loaded.release();
  return velmora::status::Ok;
}

}  // namespace

velmora::VMStatus BindSystemImports() {
  Library loaded = kNoLibrary;
  HMODULE module = nullptr;
  for (const Import& import : kImports) {
    const wchar_t* library = kLibraryNames[import.From];
    if (import.From != loaded) {
      if (const velmora::VMStatus status = LoadFromSystemFolder(import.From, module); status != velmora::status::Ok) {
        VM_TRACE("ERROR", "%S not loaded, st=0x%08x.\n", library, status);
        return status;
      }
      loaded = import.From;
    }
    *import.Pointer = reinterpret_cast<void*>(GetProcAddress(module, import.Name));
    if (*import.Pointer == nullptr) {
      const velmora::VMStatus status = velmora::LastErrorOr();
      VM_TRACE("ERROR", "%s not found in %S, st=0x%08x.\n", import.Name, library, status);
      return status;
    }
  }
  return velmora::status::Ok;
}
