// The argument line with which the stub starts its elevated second instance.
#pragma once

#include <string>

// "--internal 1 --target "FOLDER" [--language TAG] TAIL": the second instance
// only runs the command in FOLDER, which this instance has unpacked. The tail
// (the stub's own arguments) comes last, so options in it override the ones
// before it; the line ends in a blank when the tail is empty.
[[nodiscard]] std::wstring ComposeRelaunchArguments(const std::wstring& targetFolder, const std::wstring& languageTag,
                                                    const std::wstring& argumentTail);
