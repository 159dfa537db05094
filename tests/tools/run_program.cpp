// SPDX-License-Identifier: Apache-2.0
// print-exit-code [--cwd FOLDER] [--timeout MS] -- PROGRAM [ARGUMENTS...]
//
// Runs a program under Wine and prints what a Unix shell cannot see: the full
// 32-bit exit code, the caption and text of every message box it showed, and
// the most private memory it committed.
// Exits 0 when the program could be run, 2 otherwise.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "tests/tools/process_runner.h"

namespace {
std::string Utf8(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size - 1 : 0, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
  return out;
}

// The raw command line from the first word after "--" on, as typed.
std::wstring ProgramLine(const wchar_t* raw) {
  const wchar_t* marker = std::wcsstr(raw, L" -- ");
  return marker != nullptr ? std::wstring(marker + 4) : std::wstring();
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring folder;
  DWORD timeoutMs = 120000;
  for (int i = 1; i < argc && std::wcscmp(argv[i], L"--") != 0; ++i) {
    if (std::wcscmp(argv[i], L"--cwd") == 0 && i + 1 < argc) folder = argv[++i];
    else if (std::wcscmp(argv[i], L"--timeout") == 0 && i + 1 < argc) timeoutMs = std::wcstoul(argv[++i], nullptr, 10);
  }
  const std::wstring line = ProgramLine(GetCommandLineW());
  if (line.empty()) {
    std::fprintf(stderr, "usage: print-exit-code [--cwd FOLDER] [--timeout MS] -- PROGRAM [ARGUMENTS...]\n");
    return 2;
  }
  const testing_tools::ProgramResult result = testing_tools::RunProgram(line, folder, timeoutMs);
  if (result.StartError != 0) {
    std::fprintf(stderr, "print-exit-code: cannot start the program (error %lu)\n", result.StartError);
    return 2;
  }
  for (const auto& box : result.MessageBoxes) {
    std::printf("messagebox: %s | %s\n", Utf8(box.Caption).c_str(), Utf8(box.Text).c_str());
  }
  if (result.TimedOut) std::printf("timeout: the program was ended after %lu ms\n", timeoutMs);
  std::printf("peak-private-bytes: %lu\n", static_cast<unsigned long>(result.PeakPrivateBytes));
  std::printf("exit: 0x%08lX (%lu)\n", static_cast<unsigned long>(result.ExitCode),
              static_cast<unsigned long>(result.ExitCode));
  return 0;
}
