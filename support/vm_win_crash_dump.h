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
  // The folder is used as written: nothing expanded, nothing created.
  bool FolderAsIs;
};

// Stores the settings and installs VMWinCrashDumpFilter. Only the first call
// of a process has an effect. Texts longer than 259 characters are cut.
void VMWinInstallCrashDumpFilter(const wchar_t* filePrefix, const wchar_t* folder, int specialFolderId);

// From now on the dump goes into `folder` as it stands: nothing in it is
// expanded and no folder is created, so there is a dump only while `folder`
// exists. For a process whose environment and temporary folder belong to
// someone else than the process's rights: a dump holds the whole memory, and
// creating the folders of a path follows any link on it. Call it before any
// other thread exists, as VMWinInstallCrashDumpFilter.
void VMWinSetCrashDumpFolder(const wchar_t* folder);

// Writes <folder>\<prefix>_YYYYMMDDhhmmss.dmp. Always returns
// EXCEPTION_CONTINUE_SEARCH: the system's own crash handling still follows,
// and any failure here silently abandons the dump.
LONG WINAPI VMWinCrashDumpFilter(EXCEPTION_POINTERS* exception);

}  // namespace velmora
