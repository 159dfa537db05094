// vm-sfxpack: makes an installer from the stub, a configuration document and
// a payload. See PackUsage() for the command line.
#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "packer/inspect.h"
#include "packer/pack.h"
#include "packer/pack_options.h"
#include "packer/progress.h"
#include "support/vm_utf_convert.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// A console gets UTF-16 directly; a pipe or a file gets UTF-8.
void PrintLine(DWORD stream, const std::wstring& text) {
  const HANDLE handle = GetStdHandle(stream);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  const std::wstring line = text + L"\n";
  DWORD mode = 0;
  DWORD written = 0;
  if (GetConsoleMode(handle, &mode)) {
    WriteConsoleW(handle, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    return;
  }
  const std::string bytes = velmora::VMUtf16ToUtf8(line);
  WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::vector<std::wstring> ArgumentWords() {
  std::vector<std::wstring> words;
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr) return words;
  for (int i = 1; i < count; ++i) words.emplace_back(argv[i]);
  LocalFree(argv);
  return words;
}

}  // namespace

int wmain() {
  PackOptions options;
  std::wstring error;
  if (ParsePackOptions(ArgumentWords(), options, error) != velmora::status::Ok) {
    PrintLine(STD_ERROR_HANDLE, error);
    return kExitUsage;
  }
  if (options.Help) {
    PrintLine(STD_OUTPUT_HANDLE, PackUsage());
    return 0;
  }
  const PrintLineFn out = [](const std::wstring& line) { PrintLine(STD_OUTPUT_HANDLE, line); };
  const PrintLineFn err = [](const std::wstring& line) { PrintLine(STD_ERROR_HANDLE, line); };
  if (options.Explain) return RunExplain(options, out, err) ? 0 : kExitFailed;
  if (!options.Verify.empty()) return RunVerify(options, out, err) ? 0 : kExitFailed;
  PackReport report;
  ProgressLine progress = ProgressLine::ForStandardError();
  if (Pack(options, report, error, &progress) != velmora::status::Ok) {
    PrintLine(STD_ERROR_HANDLE, L"vm-sfxpack: error: " + error);
    return kExitFailed;
  }
  for (const std::wstring& note : report.Notes) PrintLine(STD_OUTPUT_HANDLE, L"vm-sfxpack: note: " + note);
  PrintLine(STD_OUTPUT_HANDLE, SummaryLine(options.Output, report));
  return 0;
}
