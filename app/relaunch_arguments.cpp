// SPDX-License-Identifier: Apache-2.0
#include "app/relaunch_arguments.h"

std::wstring QuoteArgument(const std::wstring& text) {
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : text) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count as escapes only before a quote.
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

std::wstring ComposeRelaunchArguments(const std::wstring& languageTag, CmdLine::SFXGuiMode gui,
                                      const std::wstring& commandId, const std::wstring& passthroughText) {
  std::wstring line = L"--internal 1";
  if (!languageTag.empty()) line += L" --language " + QuoteArgument(languageTag);
  if (gui != CmdLine::SFXGuiMode::NotGiven) line += gui == CmdLine::SFXGuiMode::On ? L" --gui on" : L" --gui off";
  if (!commandId.empty()) line += L" --command " + QuoteArgument(commandId);
  if (!passthroughText.empty()) line += L" --passthrough " + passthroughText;
  return line;
}
