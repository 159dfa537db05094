// SPDX-License-Identifier: Apache-2.0
// A program that an attacker might leave beside an installer under a system
// program's name. Run, it leaves planted-program-was-run.txt in its own folder
// and exits with 77; a test that sees either has caught a planting hole.
#include <windows.h>

#include <string>

int wmain() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring marker = path;
  marker.erase(marker.find_last_of(L'\\') + 1);
  marker += L"planted-program-was-run.txt";
  const HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return 77;
}
