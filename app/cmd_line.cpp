// SPDX-License-Identifier: Apache-2.0
#include "app/cmd_line.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string_view>

#include "support/vm_ascii_case.h"
#include "support/vm_cmd_line_parser.h"
#include "support/vm_handle.h"

namespace velmora {

// "on" or "off" in any ASCII letter case.
template <>
struct VMCmdLineArgHandler<std::string, CmdLine::SFXGuiMode> {
  [[nodiscard]] static VMStatus ProcessValue(CmdLine::SFXGuiMode& target, const std::string& text) {
    std::string lower = text;
    VMAsciiLowerInPlace(lower);
    if (lower == "on") {
      target = CmdLine::SFXGuiMode::On;
    } else if (lower == "off") {
      target = CmdLine::SFXGuiMode::Off;
    } else {
      return status::InvalidValue;
    }
    return status::Ok;
  }
};

// Exactly "1".
template <>
struct VMCmdLineArgHandler<std::string, CmdLine::SFXInternalMode> {
  [[nodiscard]] static VMStatus ProcessValue(CmdLine::SFXInternalMode& target, const std::string& text) {
    if (text != "1") return status::InvalidValue;
    target = CmdLine::SFXInternalMode::Internal;
    return status::Ok;
  }
};

}  // namespace velmora

namespace {

constexpr std::wstring_view kPassthroughMarker = L"--passthrough";

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r'; }

bool IsWordBreak(wchar_t c) { return c == L' ' || c == L'\t'; }

// Where the passthrough marker stands as a word of its own: after a blank or
// tab, followed by one or by the end of the line, and outside double quotes.
// The word inside a path ("C:\x\passthrough") is part of that path; taking
// it as the marker would cut the path and unpack into its parent. Quotes are
// counted as Windows splits the line: a quote behind an odd number of
// backslashes is a literal one.
std::size_t FindPassthroughMarker(std::wstring_view raw, std::size_t from) {
  bool quoted = false;
  std::size_t backslashes = 0;
  for (std::size_t i = from; i < raw.size(); ++i) {
    const wchar_t c = raw[i];
    if (c == L'"' && backslashes % 2 == 0) quoted = !quoted;
    backslashes = c == L'\\' ? backslashes + 1 : 0;
    if (quoted || i == 0 || !IsWordBreak(raw[i - 1]) || !raw.substr(i).starts_with(kPassthroughMarker)) continue;
    const std::size_t end = i + kPassthroughMarker.size();
    if (end == raw.size() || IsWordBreak(raw[end])) return i;
  }
  return std::wstring_view::npos;
}

std::wstring Trim(std::wstring_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return std::wstring(text.substr(begin, end - begin));
}

// Where the program-name word of the raw command line ends: after its closing
// quote when it is quoted, else at the first blank or tab.
std::size_t ProgramNameEnd(std::wstring_view raw) {
  std::size_t end = 0;
  if (!raw.empty() && raw[0] == L'"') {
    end = raw.find(L'"', 1);
    return end == std::wstring_view::npos ? raw.size() : end + 1;
  }
  while (end < raw.size() && raw[end] != L' ' && raw[end] != L'\t') ++end;
  return end;
}

void WriteToStandardError(const char* text) {
  std::fputs(text, stderr);
  std::fflush(stderr);
}

}  // namespace

namespace CmdLine {
Values& Current() {
  static Values values;
  return values;
}
}  // namespace CmdLine

velmora::VMStatus ParseStubCommandLine(const wchar_t* rawLine, CmdLine::Values& values,
                                       CmdLine::DiagnosticFn output) {
  const std::wstring_view raw = rawLine;
  const std::size_t nameEnd = ProgramNameEnd(raw);

  // Everything behind the marker belongs to the launched program and is never
  // parsed. The marker is looked for behind the program name only: a stub
  // stored in a folder whose name contains the word must still read its
  // options.
  std::wstring_view toParse = raw;
  values.PassthroughText.clear();
  const std::size_t marker = FindPassthroughMarker(raw, nameEnd);
  if (marker != std::wstring_view::npos) {
    values.PassthroughText = Trim(raw.substr(marker + kPassthroughMarker.size()));
    toParse = raw.substr(0, marker);
  }

  int count = 0;
  const std::wstring line(toParse);
  velmora::VMUniqueLocal words(CommandLineToArgvW(line.c_str(), &count));
  VM_RETURN_LAST_ERROR_IF(!words);
  const auto* list = static_cast<const wchar_t* const*>(words.get());
  const std::vector<std::wstring> args(list, list + count);
  words.reset();
  if (args.empty()) return velmora::status::Failed;

  values.ArgumentTail = Trim(raw.substr(nameEnd));

  velmora::VMCmdLineParserT<char> parser;
  parser.AddOption("", "gui", values.GuiMode, true);
  parser.AddOption("", "command", values.CommandId, true);
  parser.AddOption("", "internal", values.InternalMode, true);
  parser.AddOption("", "target", values.TargetPath, true);
  parser.AddOption("", "language", values.LanguageTag, true);
  parser.SurplusWide = &values.SurplusArguments;
  parser.Output = output;
  return parser.Parse(args);
}

velmora::VMStatus ParseStubCommandLine() {
  return ParseStubCommandLine(GetCommandLineW(), CmdLine::Current(), &WriteToStandardError);
}
