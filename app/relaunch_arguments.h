// SPDX-License-Identifier: Apache-2.0
// The argument line with which the stub starts its elevated second instance.
#pragma once

#include <string>

#include "app/cmd_line.h"

// "--internal 1 [--language "TAG"] [--gui on|off] [--command "ID"]
// [--passthrough REST]", from the values this instance has settled: the
// language it chose, its gui mode, the Command it chose and its passthrough
// text. Nothing the user typed reaches the line except behind the
// passthrough marker, where the second instance does not parse it, so no
// option of the first instance's own line can override these. The second
// instance unpacks for itself and is told no folder.
[[nodiscard]] std::wstring ComposeRelaunchArguments(const std::wstring& languageTag, CmdLine::SFXGuiMode gui,
                                                    const std::wstring& commandId,
                                                    const std::wstring& passthroughText);

// `text` as one word that CommandLineToArgvW reads back unchanged: between
// double quotes, with the backslashes before a quote and at the end doubled
// and each inner quote escaped.
[[nodiscard]] std::wstring QuoteArgument(const std::wstring& text);
