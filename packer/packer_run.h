// SPDX-License-Identifier: Apache-2.0
// What one run of vm-sfxpack does with the words of its command line, on
// every system: each main program only turns its arguments into words and
// hands over how a line reaches standard output and standard error.
#pragma once

#include <functional>
#include <string>
#include <vector>

// Takes one line without its line end.
using PrintLineFn = std::function<void(const std::wstring& line)>;

// The exit code: 0 done, 1 refused or failed, 2 a mistake on the command
// line. A progress line is written to standard error only when it is a
// terminal.
[[nodiscard]] int RunPacker(const std::vector<std::wstring>& words, const PrintLineFn& out,
                            const PrintLineFn& err);
