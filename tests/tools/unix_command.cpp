// SPDX-License-Identifier: Apache-2.0
// unixcommand EXITCODE PROGRAM [ARGUMENTS...]
//
// Runs the Unix program PROGRAM (its Windows path, such as Z:\bin\mount) with
// ARGUMENTS, each one word, and waits for it, which Wine alone does not do.
// Exits with EXITCODE when it succeeded and with 1 otherwise, so that a
// launch stub can run it as its command and pass a known exit code on.
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "tests/tools/unix_side.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const std::vector<std::wstring> arguments(argv + 3, argv + argc);
  return testing_tools::RunUnix(argv[2], arguments) ? static_cast<int>(std::wcstoul(argv[1], nullptr, 10)) : 1;
}
