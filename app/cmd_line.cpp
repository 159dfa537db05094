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

constexpr std::wstring_view kPassthroughMarker = L"passthrough";

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r'; }

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
  // parsed; the two characters before it (its dashes) are cut off as well.
  // The marker is looked for behind the program name only: a stub stored in a
  // folder whose name contains the word must still read its options.
  std::wstring_view toParse = raw;
  values.PassthroughText.clear();
  const std::size_t marker = raw.find(kPassthroughMarker, nameEnd);
  if (marker != std::wstring_view::npos) {
    values.PassthroughText = Trim(raw.substr(marker + kPassthroughMarker.size()));
    if (marker >= 2) toParse = raw.substr(0, marker - 2);
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
