// SPDX-License-Identifier: Apache-2.0
// foundreadme [EXITCODE]
//
// A launch stub's Command for the process tests: exits with EXITCODE when
// readme.txt is in its working folder and with 0 otherwise, as
// `cmd /c if exist readme.txt exit EXITCODE` does, but as a windowed program.
// A console program is given a console host of its own when a windowed
// program such as the stub starts it. Wine starts that host from within the
// program, in the program's working folder, which it keeps until it ends; on
// an emulated machine it can end seconds after the program, later than the
// clean-up waits for the folder. This program opens no console, so a test
// that judges the clean-up judges the stub alone.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  const DWORD found = GetFileAttributesW(L"readme.txt");
  if (found == INVALID_FILE_ATTRIBUTES || (found & FILE_ATTRIBUTE_DIRECTORY)) return 0;
  return argc > 1 ? static_cast<int>(std::wcstoul(argv[1], nullptr, 10)) : 0;
}
