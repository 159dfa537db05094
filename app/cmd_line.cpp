#include "app/cmd_line.h"

#include <windows.h>

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r'; }

std::wstring Trim(std::wstring_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return std::wstring(text.substr(begin, end - begin));
}

// The raw command line without its program-name word, exactly as written.
std::wstring ArgumentTail(std::wstring_view raw) {
  std::size_t end = 0;
  if (!raw.empty() && raw[0] == L'"') {
    end = raw.find(L'"', 1);
    end = end == std::wstring_view::npos ? raw.size() : end + 1;
  } else {
    while (end < raw.size() && raw[end] != L' ' && raw[end] != L'\t') ++end;
  }
  return Trim(raw.substr(end));
}

}  // namespace

namespace CmdLine {
Values& Current() {
  static Values values;
  return values;
}
}  // namespace CmdLine

velmora::VMStatus ParseStubCommandLine() {
  CmdLine::Values& values = CmdLine::Current();
  values.ArgumentTail = ArgumentTail(GetCommandLineW());
  // No option is understood yet, so any argument is refused rather than
  // silently ignored.
  return values.ArgumentTail.empty() ? velmora::status::Ok : ERROR_CALL_NOT_IMPLEMENTED;
}
