// SPDX-License-Identifier: Apache-2.0
// A library that an attacker might leave beside an installer under a system
// library's name. Loaded, it leaves NAME-was-loaded.txt beside itself, NAME
// being the file name it was loaded under (version.dll-was-loaded.txt); a
// test that sees such a file has caught a planting hole.
#include <windows.h>

#include <string>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(instance, path, MAX_PATH);
    const std::wstring marker = std::wstring(path) + L"-was-loaded.txt";
    const HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
  return TRUE;
}

// The export the crash-dump path asks for, so that a loaded plant would also
// be used.
extern "C" __declspec(dllexport) BOOL WINAPI MiniDumpWriteDump(void*, DWORD, void*, int, void*, void*, void*) {
  return FALSE;
}
