// SPDX-License-Identifier: Apache-2.0
// A full-memory crash dump written when the process dies of an unhandled
// exception, so that a failure in the field can be examined afterwards.
#pragma once

#include <windows.h>

namespace velmora {

// Where the dump goes. Written once before any other thread exists, read
// only by the filter afterwards.
// (No initialisers: the process-wide instance stays out of the image's data.)
struct VMWinCrashDumpSettings {
  wchar_t FilePrefix[MAX_PATH];
  // May hold %NAME% references. Empty: the program's own folder.
  wchar_t Folder[MAX_PATH];
  // A CSIDL the folder is relative to, or -1 for none.
  int SpecialFolderId;
};

// Stores the settings and installs VMWinCrashDumpFilter. Only the first call
// of a process has an effect. Texts longer than 259 characters are cut.
void VMWinInstallCrashDumpFilter(const wchar_t* filePrefix, const wchar_t* folder, int specialFolderId);

// Writes <folder>\<prefix>_YYYYMMDDhhmmss.dmp. Always returns
// EXCEPTION_CONTINUE_SEARCH: the system's own crash handling still follows,
// and any failure here silently abandons the dump.
LONG WINAPI VMWinCrashDumpFilter(EXCEPTION_POINTERS* exception);

}  // namespace velmora
