// SPDX-License-Identifier: Apache-2.0
#include "support/vm_win_crash_dump.h"

#include <dbghelp.h>
#include <shlobj.h>

#include <cwchar>
#include <iterator>

#include "support/vm_handle.h"
#include "support/vm_win_module_file_name.h"
#include "support/vm_win_system_library.h"

namespace velmora {
namespace {

VMWinCrashDumpSettings g_settings;
bool g_installed = false;

using MiniDumpWriteDumpFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                                          PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION);

// A bounded wide-text builder over a fixed buffer: the filter runs in a
// crashed process and allocates nothing it can avoid.
class FixedText {
 public:
  FixedText(wchar_t* buffer, std::size_t capacity) : buffer_(buffer), capacity_(capacity) { buffer_[0] = 0; }
  bool Append(const wchar_t* text) {
    const std::size_t length = std::wcslen(text);
    if (length_ + length >= capacity_) return false;
    std::wmemcpy(buffer_ + length_, text, length + 1);
    length_ += length;
    return true;
  }
  bool AppendNumber(unsigned value, int digits) {
    wchar_t text[12] = {};
    for (int i = digits - 1; i >= 0; --i, value /= 10) text[i] = static_cast<wchar_t>(L'0' + value % 10);
    return Append(text);
  }
  [[nodiscard]] std::size_t Length() const { return length_; }
  void Truncate(std::size_t length) {
    if (length >= length_) return;
    length_ = length;
    buffer_[length_] = 0;
  }

 private:
  wchar_t* buffer_;
  std::size_t capacity_;
  std::size_t length_ = 0;
};

void CopyCut(wchar_t (&target)[MAX_PATH], const wchar_t* source) {
  wcsncpy_s(target, std::size(target), source != nullptr ? source : L"", _TRUNCATE);
}

bool BuildFolder(wchar_t (&folder)[MAX_PATH]) {
  FixedText text(folder, std::size(folder));
  if (g_settings.SpecialFolderId != -1) {
    wchar_t special[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, special, g_settings.SpecialFolderId, TRUE)) return false;
    if (!text.Append(special)) return false;
    if (g_settings.Folder[0] == 0) return true;
    const std::size_t length = text.Length();
    if ((length == 0 || folder[length - 1] != L'\\') && !text.Append(L"\\")) return false;
    return text.Append(g_settings.Folder);
  }
  if (g_settings.Folder[0] == 0) {
    VMWinModuleFileName self;
    if (self.InitWithModuleHandle() != status::Ok) return false;
    return text.Append(self.Drive.c_str()) && text.Append(self.Directory.c_str());
  }
  return text.Append(g_settings.Folder);
}

// Creates every missing folder of `path`. Components of one character are
// skipped: they are a drive letter or nothing that could be created anyway.
void CreateFolderChain(wchar_t* path) {
  const std::size_t length = std::wcslen(path);
  std::size_t componentStart = 0;
  for (std::size_t i = 0; i <= length; ++i) {
    if (path[i] != L'\\' && path[i] != 0) continue;
    if (i - componentStart >= 2) {
      const wchar_t kept = path[i];
      path[i] = 0;
      CreateDirectoryW(path, nullptr);
      path[i] = kept;
    }
    componentStart = i + 1;
  }
}

}  // namespace

void VMWinInstallCrashDumpFilter(const wchar_t* filePrefix, const wchar_t* folder, int specialFolderId) {
  if (g_installed) return;
  g_installed = true;
  CopyCut(g_settings.FilePrefix, filePrefix);
  CopyCut(g_settings.Folder, folder);
  g_settings.SpecialFolderId = specialFolderId;
  SetUnhandledExceptionFilter(&VMWinCrashDumpFilter);
}

void VMWinSetCrashDumpFolder(const wchar_t* folder) {
  CopyCut(g_settings.Folder, folder);
  g_settings.SpecialFolderId = -1;
  g_settings.FolderAsIs = true;
}

LONG WINAPI VMWinCrashDumpFilter(EXCEPTION_POINTERS* exception) {
  // Never searched for beside the program: a planted dbghelp.dll would run
  // with the crashed process's rights.
  VMUniqueModule dbghelp;
  if (VMWinLoadSystemLibrary(L"dbghelp.dll", dbghelp) != status::Ok) return EXCEPTION_CONTINUE_SEARCH;
  const auto writeDump = reinterpret_cast<MiniDumpWriteDumpFn>(
      reinterpret_cast<void*>(GetProcAddress(dbghelp.get(), "MiniDumpWriteDump")));
  if (writeDump == nullptr) return EXCEPTION_CONTINUE_SEARCH;

  SYSTEMTIME now{};
  GetLocalTime(&now);

  wchar_t folder[MAX_PATH] = {};
  if (!BuildFolder(folder)) return EXCEPTION_CONTINUE_SEARCH;
  wchar_t expanded[MAX_PATH] = {};
  if (g_settings.FolderAsIs) {
    if (folder[0] == 0 || wcscpy_s(expanded, folder) != 0) return EXCEPTION_CONTINUE_SEARCH;
  } else {
    const DWORD expandedLength =
        ExpandEnvironmentStringsW(folder, expanded, static_cast<DWORD>(std::size(expanded)));
    if (expandedLength == 0 || expandedLength > std::size(expanded) || expanded[0] == 0) {
      return EXCEPTION_CONTINUE_SEARCH;
    }
    CreateFolderChain(expanded);
  }

  wchar_t name[MAX_PATH] = {};
  FixedText file(name, std::size(name));
  const bool composed = file.Append(expanded) && file.Append(L"\\") && file.Append(g_settings.FilePrefix) &&
                        file.Append(L"_") && file.AppendNumber(now.wYear, 4) && file.AppendNumber(now.wMonth, 2) &&
                        file.AppendNumber(now.wDay, 2) && file.AppendNumber(now.wHour, 2) &&
                        file.AppendNumber(now.wMinute, 2) && file.AppendNumber(now.wSecond, 2);
  if (!composed) return EXCEPTION_CONTINUE_SEARCH;

  // The name can be foreseen, and the temporary folder may be shared: the
  // dump goes only into a file created new, never through a file or link
  // that someone left at that name. A name already taken (also by a second
  // crash within the same second) is followed by _2 to _9.
  const std::size_t stem = file.Length();
  VMUniqueFile dump;
  for (unsigned attempt = 1; attempt <= 9 && !dump; ++attempt) {
    file.Truncate(stem);
    if (attempt > 1 && !(file.Append(L"_") && file.AppendNumber(attempt, 1))) break;
    if (!file.Append(L".dmp")) break;
    dump.reset(CreateFileW(name, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!dump && GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  if (!dump) return EXCEPTION_CONTINUE_SEARCH;
  MINIDUMP_EXCEPTION_INFORMATION info{GetCurrentThreadId(), exception, FALSE};
  (void)writeDump(GetCurrentProcess(), GetCurrentProcessId(), dump.get(), MiniDumpWithFullMemory, &info, nullptr,
                  nullptr);
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace velmora
