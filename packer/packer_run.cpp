#include "packer/packer_run.h"

#include <cwchar>
#include <iterator>

#include "packer/explain.h"
#include "packer/pack.h"
#include "packer/pack_options.h"
#include "packer/progress.h"
#include "packer/verify.h"

namespace {

constexpr int kExitFailed = 1;

// A name or a text from the command line may carry control characters that
// would move the cursor or rewrite the terminal: they are shown as \xNN.
std::wstring Escaped(const std::wstring& line) {
  std::wstring shown;
  for (const wchar_t c : line) {
    if (c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0)) {
      shown += c;
      continue;
    }
    wchar_t hex[8] = {};
    std::swprintf(hex, std::size(hex), L"\\x%02X", static_cast<unsigned>(c));
    shown += hex;
  }
  return shown;
}
constexpr int kExitUsage = 2;

bool Explain(const PackOptions& options, const PrintLineFn& out, const PrintLineFn& err) {
  std::string document;
  std::wstring error;
  if (ReadConfigurationDocument(options.Config, document, error) != velmora::status::Ok) {
    err(L"vm-sfxpack: error: " + error);
    return false;
  }
  Explanation explanation;
  ExplainConfiguration(document, SplitLanguageList(options.Languages), explanation);
  for (const std::wstring& line : FormatExplanation(explanation)) out(line);
  return !explanation.LoadFails;
}

bool Verify(const PackOptions& options, const PrintLineFn& out, const PrintLineFn& err) {
  std::vector<std::wstring> lines;
  std::wstring error;
  const velmora::VMStatus verified = VerifyInstaller(options.Verify, lines, error);
  for (const std::wstring& line : lines) out(line);
  if (verified != velmora::status::Ok) {
    err(L"vm-sfxpack: error: " + error);
    return false;
  }
  out(options.Verify + L": sound.");
  return true;
}

}  // namespace

int RunPacker(const std::vector<std::wstring>& words, const PrintLineFn& rawOut, const PrintLineFn& rawErr) {
  const PrintLineFn out = [&](const std::wstring& line) { rawOut(Escaped(line)); };
  const PrintLineFn err = [&](const std::wstring& line) { rawErr(Escaped(line)); };
  PackOptions options;
  std::wstring error;
  if (ParsePackOptions(words, options, error) != velmora::status::Ok) {
    err(error);
    return kExitUsage;
  }
  if (options.Help) {
    rawOut(PackUsage());
    return 0;
  }
  if (options.Explain) return Explain(options, out, err) ? 0 : kExitFailed;
  if (!options.Verify.empty()) return Verify(options, out, err) ? 0 : kExitFailed;
  PackReport report;
  ProgressLine progress = ProgressLine::ForStandardError();
  if (Pack(options, report, error, &progress) != velmora::status::Ok) {
    err(L"vm-sfxpack: error: " + error);
    return kExitFailed;
  }
  for (const std::wstring& note : report.Notes) out(L"vm-sfxpack: note: " + note);
  out(SummaryLine(options.Output, report));
  return 0;
}
