// vm-sfxpack on systems other than Windows: the same command line, lines and
// exit codes as the Windows program, in UTF-8.
#include <clocale>
#include <cstdio>
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

void PrintLine(std::FILE* stream, const std::wstring& text) {
  const std::string line = velmora::VMUtf16ToUtf8(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fflush(stream);
}

}  // namespace

int main(int argc, char** argv) {
  // Letter case of item names follows Unicode, whatever the user's locale.
  if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) std::setlocale(LC_CTYPE, "");
  std::vector<std::wstring> words;
  for (int i = 1; i < argc; ++i) words.push_back(velmora::VMUtf8ToUtf16(argv[i]));
  PackOptions options;
  std::wstring error;
  if (ParsePackOptions(words, options, error) != velmora::status::Ok) {
    PrintLine(stderr, error);
    return kExitUsage;
  }
  if (options.Help) {
    PrintLine(stdout, PackUsage());
    return 0;
  }
  const PrintLineFn out = [](const std::wstring& line) { PrintLine(stdout, line); };
  const PrintLineFn err = [](const std::wstring& line) { PrintLine(stderr, line); };
  if (options.Explain) return RunExplain(options, out, err) ? 0 : kExitFailed;
  if (!options.Verify.empty()) return RunVerify(options, out, err) ? 0 : kExitFailed;
  PackReport report;
  ProgressLine progress = ProgressLine::ForStandardError();
  if (Pack(options, report, error, &progress) != velmora::status::Ok) {
    PrintLine(stderr, L"vm-sfxpack: error: " + error);
    return kExitFailed;
  }
  for (const std::wstring& note : report.Notes) PrintLine(stdout, L"vm-sfxpack: note: " + note);
  PrintLine(stdout, SummaryLine(options.Output, report));
  return 0;
}
