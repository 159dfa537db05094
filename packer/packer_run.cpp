// SPDX-License-Identifier: Apache-2.0
#include "packer/packer_run.h"

#include <cwchar>
#include <iterator>

#include "packer/explain.h"
#include "packer/archive/folder_archive.h"
#include "packer/pack.h"
#include "packer/pack_options.h"
#include "packer/archive/payload_check.h"
#include "packer/progress.h"
#include "packer/verify.h"
#include "vm_commit.h"

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
  // An input that cannot be read is said before anything is explained.
  std::wstring decoding;
  velmora::VMStatus read = ReadConfigurationDocument(options.Config, document, error);
  if (read == velmora::status::Ok && !options.Payload.empty()) {
    read = DescribePayloadDecoding(options.Payload, decoding, error);
  } else if (read == velmora::status::Ok && !options.Folder.empty()) {
    read = DescribeFolderDecoding(options.Folder, options.Level, decoding, error);
  }
  if (read != velmora::status::Ok) {
    err(L"vm-sfxpack: error: " + error);
    return false;
  }
  Explanation explanation;
  ExplainConfiguration(document, SplitLanguageList(options.Languages), explanation);
  for (const std::wstring& note : explanation.DocumentNotes) out(L"vm-sfxpack: note: " + note);
  for (const std::wstring& line : FormatExplanation(explanation)) out(line);
  if (!decoding.empty()) {
    out(L"");
    out(decoding);
  }
  if (options.Strict && !explanation.DocumentNotes.empty()) {
    err(L"vm-sfxpack: error: --strict refuses a document with notes.");
    return false;
  }
  return !explanation.LoadFails;
}

bool Verify(const PackOptions& options, const PrintLineFn& out, const PrintLineFn& err) {
  std::vector<std::wstring> lines;
  std::wstring error;
  // A large payload takes a while to decode: a terminal shows how far.
  ProgressLine progress = ProgressLine::ForStandardError(L"decoding");
  const velmora::VMStatus verified = VerifyInstaller(options.Verify, lines, error, &progress, options.RequireSignature);
  for (const std::wstring& line : lines) out(line);
  if (verified != velmora::status::Ok) {
    err(L"vm-sfxpack: error: " + error);
    return false;
  }
  out(options.Verify + L": sound.");
  return true;
}

// What a vendor must know before shipping an installer made from the stub,
// in one line; THIRD-PARTY-NOTICES says it in full.
constexpr const wchar_t* kStubLicence =
    L"licence: vm-sfxstub is Apache-2.0; the stub also carries 7-Zip's archive library (LGPL-2.1-or-later), "
    L"tinyxml2 (Zlib) and the GCC (GPL-3.0-or-later WITH GCC-exception-3.1) and mingw-w64 (ZPL-2.1) runtimes: "
    L"ship THIRD-PARTY-NOTICES and the licence texts with every installer.";

void PrintVersion(const PackOptions& options, const PrintLineFn& out) {
  out(L"vm-sfxpack " VM_PACKER_VERSION L", commit " VM_COMMIT);
  std::wstring stub = options.Stub;
  std::wstring error;
  if (stub.empty() && FindDefaultStub(stub, error) != velmora::status::Ok) stub = L"none found: " + error;
  out(L"stub: " + stub);
  out(kStubLicence);
}

}  // namespace

int RunPacker(const std::vector<std::wstring>& words, const PrintLineFn& rawOut, const PrintLineFn& rawErr) {
  const PrintLineFn out = [&](const std::wstring& line) { rawOut(Escaped(line)); };
  const PrintLineFn err = [&](const std::wstring& line) { rawErr(Escaped(line)); };
  PackOptions options;
  std::wstring error;
  // A bare call asks what the program does.
  if (words.empty()) {
    rawErr(PackUsage());
    return kExitUsage;
  }
  if (ParsePackOptions(words, options, error) != velmora::status::Ok) {
    err(error);
    return kExitUsage;
  }
  if (options.Help) {
    rawOut(PackUsage());
    return 0;
  }
  if (options.Version) {
    PrintVersion(options, out);
    return 0;
  }
  if (options.Explain) return Explain(options, out, err) ? 0 : kExitFailed;
  if (!options.Verify.empty()) return Verify(options, out, err) ? 0 : kExitFailed;
  PackReport report;
  ProgressLine progress = ProgressLine::ForStandardError();
  const velmora::VMStatus packed = Pack(options, report, error, &progress);
  // A refusal is one line on standard error; only --strict, which refuses
  // for the notes, shows them before it.
  if (packed == velmora::status::Ok || options.Strict) {
    for (const std::wstring& note : report.Notes) out(L"vm-sfxpack: note: " + note);
  }
  if (packed != velmora::status::Ok) {
    err(L"vm-sfxpack: error: " + error);
    return kExitFailed;
  }
  out(SummaryLine(options.Output, report));
  return 0;
}
