// SPDX-License-Identifier: Apache-2.0
// The two places where the progress line meets the operating system.
#include "packer/progress.h"

#ifdef _WIN32
#include <windows.h>

bool StandardErrorIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void WriteStandardError(const std::wstring& text) {
  DWORD written = 0;
  WriteConsoleW(GetStdHandle(STD_ERROR_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}
#else
#include <unistd.h>

#include "support/vm_utf_convert.h"

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

void WriteStandardError(const std::wstring& text) {
  const std::string bytes = velmora::VMUtf16ToUtf8(text);
  (void)!write(STDERR_FILENO, bytes.data(), bytes.size());
}
#endif
