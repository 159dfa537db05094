// A library that an attacker might leave beside an installer under a system
// library's name. Loaded, it leaves planted-library-was-loaded.txt in its own
// folder; a test that sees that file has caught a planting hole.
#include <windows.h>

#include <string>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(instance, path, MAX_PATH);
    std::wstring marker = path;
    marker.erase(marker.find_last_of(L'\\') + 1);
    marker += L"planted-library-was-loaded.txt";
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
