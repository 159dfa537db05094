// SPDX-License-Identifier: Apache-2.0
// vm-sfxpack: makes an installer from the stub, a configuration document and
// a payload. This file only reads the command line and writes lines; RunPacker
// does the rest, as on every other system.
#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "packer/packer_run.h"
#include "support/vm_utf_convert.h"

namespace {

// A console gets UTF-16 directly; a pipe or a file gets UTF-8.
void PrintLine(DWORD stream, const std::wstring& text) {
  const HANDLE handle = GetStdHandle(stream);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  const std::wstring line = text + L"\n";
  DWORD mode = 0;
  DWORD written = 0;
  if (GetConsoleMode(handle, &mode)) {
    WriteConsoleW(handle, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    return;
  }
  const std::string bytes = velmora::VMUtf16ToUtf8(line);
  WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::vector<std::wstring> ArgumentWords() {
  std::vector<std::wstring> words;
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr) return words;
  for (int i = 1; i < count; ++i) words.emplace_back(argv[i]);
  LocalFree(argv);
  return words;
}

}  // namespace

int wmain() {
  return RunPacker(
      ArgumentWords(), [](const std::wstring& line) { PrintLine(STD_OUTPUT_HANDLE, line); },
      [](const std::wstring& line) { PrintLine(STD_ERROR_HANDLE, line); });
}
