// SPDX-License-Identifier: Apache-2.0
#include "packer/pack_options.h"

#include <cwctype>
#include <string>

#include "support/vm_cmd_line_parser.h"
#include "support/vm_utf_convert.h"

using velmora::VMStatus;
namespace status = velmora::status;

namespace velmora {
// A repeatable option: every value is kept, in order.
template <>
struct VMCmdLineArgHandler<std::string, std::vector<std::wstring>> {
  static VMStatus ProcessValue(std::vector<std::wstring>& target, const std::string& text) {
    target.push_back(VMUtf8ToUtf16(text));
    return status::Ok;
  }
};
}  // namespace velmora

namespace {

// The parser reports through a plain function; one parse runs at a time.
std::string g_lastDiagnostic;

void KeepDiagnostic(const char* text) { g_lastDiagnostic = text; }

std::wstring WithoutLineEnd(std::wstring text) {
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
  return text;
}

}  // namespace

VMStatus ParsePackOptions(const std::vector<std::wstring>& words, PackOptions& options, std::wstring& error) {
  options = PackOptions{};
  error.clear();
  std::wstring helpText;
  velmora::VMCmdLineParserT<char> parser;
  parser.ProgramName = "vm-sfxpack";
  parser.Output = &KeepDiagnostic;
  parser.AddOption("", "output", options.Output, true);
  parser.AddOption("", "config", options.Config, true);
  parser.AddOption("", "stub", options.Stub, true);
  parser.AddOption("", "payload", options.Payload, true);
  parser.AddOption("", "folder", options.Folder, true);
  parser.AddOption("", "icon", options.Icon, true);
  std::vector<std::wstring> versionWords;
  parser.AddOption("", "version-info", versionWords, true);
  parser.AddOption("", "languages", options.Languages, true);
  parser.AddOption("", "verify", options.Verify, true);
  std::wstring levelText;
  bool levelGiven = false;
  auto level = std::make_unique<velmora::VMCmdLineParserT<char>::Option<std::wstring>>("", "level", levelText, true);
  level->Given = &levelGiven;
  parser.AddOption(std::move(level));
  std::wstring explainText;
  auto explain = std::make_unique<velmora::VMCmdLineParserT<char>::Option<std::wstring>>("", "explain", explainText, false);
  explain->Given = &options.Explain;
  parser.AddOption(std::move(explain));
  auto help = std::make_unique<velmora::VMCmdLineParserT<char>::Option<std::wstring>>("h", "help", helpText, false);
  help->Given = &options.Help;
  parser.AddOption(std::move(help));
  std::wstring strictText;
  auto strict = std::make_unique<velmora::VMCmdLineParserT<char>::Option<std::wstring>>("", "strict", strictText, false);
  strict->Given = &options.Strict;
  parser.AddOption(std::move(strict));
  std::wstring signatureText;
  auto signature = std::make_unique<velmora::VMCmdLineParserT<char>::Option<std::wstring>>(
      "", "require-signature", signatureText, false);
  signature->Given = &options.RequireSignature;
  parser.AddOption(std::move(signature));
  std::wstring versionText;
  auto version = std::make_unique<velmora::VMCmdLineParserT<char>::Option<std::wstring>>("", "version", versionText, false);
  version->Given = &options.Version;
  parser.AddOption(std::move(version));

  std::vector<std::wstring> args{L"vm-sfxpack"};
  args.insert(args.end(), words.begin(), words.end());
  g_lastDiagnostic.clear();
  const VMStatus parsed = parser.Parse(args);
  if (parsed != status::Ok) {
    // The parser names the program itself; every message of the packer
    // reads "vm-sfxpack: error: ...".
    std::wstring diagnostic = WithoutLineEnd(velmora::VMUtf8ToUtf16(g_lastDiagnostic));
    const std::wstring own = L"vm-sfxpack: ";
    if (diagnostic.compare(0, own.size(), own) == 0) diagnostic.erase(0, own.size());
    if (!diagnostic.empty()) diagnostic[0] = static_cast<wchar_t>(std::towlower(diagnostic[0]));
    error = L"vm-sfxpack: error: " + diagnostic;
    return parsed;
  }
  if (options.Help || options.Version) return status::Ok;

  // A level is a setting of --folder's compression: beside a ready archive
  // it would be silently ignored.
  if (levelGiven) {
    VM_RETURN_IF_FAILED(ParseFolderLevel(levelText, options.Level, error));
    if (options.Folder.empty()) {
      error = L"vm-sfxpack: error: --level belongs to --folder (see --help).";
      return status::InvalidValue;
    }
  }

  // --explain looks at a payload too, without packing it.
  const bool payload = !options.Payload.empty() || !options.Folder.empty();
  const bool packs = !options.Output.empty() || (payload && !options.Explain);
  if (options.Explain + !options.Verify.empty() + packs > 1) {
    error = L"vm-sfxpack: error: --explain, --verify and packing are separate runs (see --help).";
    return status::InvalidValue;
  }
  if (options.Explain && options.Config.empty()) {
    error = L"vm-sfxpack: error: --explain needs --config DOC.xml (see --help).";
    return status::RequiredOptionMissing;
  }
  if (!options.Languages.empty() && !options.Explain) {
    error = L"vm-sfxpack: error: --languages belongs to --explain (see --help).";
    return status::InvalidValue;
  }
  if (!options.Verify.empty() && !options.Config.empty()) {
    error = L"vm-sfxpack: error: --verify takes the installer alone (see --help).";
    return status::InvalidValue;
  }
  // Silently ignored, they would let the user believe they were looked at.
  if ((options.Explain || !options.Verify.empty()) &&
      (!options.Stub.empty() || !options.Icon.empty() || !versionWords.empty())) {
    error = L"vm-sfxpack: error: --stub, --icon and --version-info belong to packing, not to --explain or --verify "
            L"(see --help).";
    return status::InvalidValue;
  }
  if (options.Explain && !options.Payload.empty() && !options.Folder.empty()) {
    error = L"vm-sfxpack: error: --explain takes one of --payload and --folder, not both (see --help).";
    return status::InvalidValue;
  }
  if (options.RequireSignature && options.Verify.empty()) {
    error = L"vm-sfxpack: error: --require-signature belongs to --verify (see --help).";
    return status::InvalidValue;
  }
  if (options.Strict && !options.Verify.empty()) {
    error = L"vm-sfxpack: error: --strict belongs to packing and --explain; --verify refuses on its own "
            L"(see --help).";
    return status::InvalidValue;
  }
  if (options.Explain || !options.Verify.empty()) return status::Ok;

  if (options.Output.empty()) {
    error = L"vm-sfxpack: error: --output is required (see --help).";
    return status::RequiredOptionMissing;
  }
  if (options.Payload.empty() == options.Folder.empty()) {
    error = L"vm-sfxpack: error: give exactly one of --payload and --folder (see --help).";
    return status::InvalidValue;
  }
  for (const std::wstring& word : versionWords) {
    VM_RETURN_IF_FAILED(AddVersionSetting(word, options.VersionInfo, error));
  }
  return status::Ok;
}

const wchar_t* PackUsage() {
  // One line per form, "or:" before each further one, as man page
  // generators read a usage text.
  return LR"(Usage: vm-sfxpack --output OUT.exe [--config DOC.xml] [--stub STUB.exe] [--icon FILE.ico] [--version-info KEY=VALUE]... [--strict] (--payload ARCHIVE.7z | --folder DIR [--level LEVEL])
  or:  vm-sfxpack --explain --config DOC.xml [--languages TAG,TAG,...] [--payload ARCHIVE.7z | --folder DIR [--level LEVEL]] [--strict]
  or:  vm-sfxpack --verify INSTALLER.exe [--require-signature]
  or:  vm-sfxpack --version [--stub STUB.exe]

Makes one installer from the stub, an optional configuration document and a
payload: the document becomes the stub's resource RT_RCDATA 222 (language
1033) and the payload is appended behind the stub's image.

  --output OUT.exe    the installer to write; it appears only when complete,
                      replacing a file of that name
  --config DOC.xml    the configuration document (UTF-8 XML). It is checked
                      with the stub's own loader for an x86, an x64 and an
                      ARM64 machine; a machine that no Option fits is named
                      as unsupported. Without --config the installer is a
                      plain self-extracting archive: it asks where to unpack,
                      offering the current folder.
  --stub STUB.exe     the stub to start from (default: vm-sfxstub.exe beside
                      the packer, else in ../lib/vm-sfxstub/ from the
                      packer's folder); it must be a plain stub without a
                      payload
  --payload ARCHIVE.7z
                      a 7z archive, taken as it is after a check that the
                      stub can unpack it: methods the stub knows, no
                      encryption, no item that would land outside the target
                      folder (absolute paths, drive or UNC prefixes, ".."
                      parts, ":" in a name), no item named like a device
                      (CON, NUL, COM1, LPT1, ... with any extension), no
                      damaged data
  --folder DIR        compress the folder's contents (with empty folders,
                      times and attributes) into a solid 7z archive with
                      LZMA2 and the executable filters 7-Zip picks by
                      looking at the files, at --level normal unless told
  --level LEVEL       how hard --folder compresses (sizes and times measured
                      on real folders are in docs/packer.md; the levels
                      unpack in about the same time, normal's and max's
                      installers are the smaller by a fifth):
                      fast    quick packing for test builds: a 4 MiB
                              dictionary, BCJ for x86 programs, LZMA2
                              blocks of an eighth of the data (4 to 64 MiB)
                              that up to 8 threads decode; the largest
                              installers
                      normal  the default: 7-Zip's strongest LZMA2
                              settings, BCJ2 for x86 programs, the
                              dictionary up to the data size (64 MiB at
                              most); up to 64 MiB of files in one block,
                              more in blocks of 64 MiB or more that several
                              threads decode
                      max     the smallest installer: as normal with the
                              longest matches and one block however large
                              the folder; packs up to 1.6 times as long
  --icon FILE.ico     the installer's icon instead of the stub's: every
                      image of the icon file (PNG or bitmap) is kept
  --version-info KEY=VALUE
                      a text of the installer's version resource, over the
                      stub's own; KEY is ProductName, CompanyName,
                      FileDescription, FileVersion, ProductVersion or
                      LegalCopyright, VALUE 1 to 256 characters. A version
                      of 1 to 4 numbers (up to 65535) joined by dots also
                      sets the version numbers. Give it once per key.
  --explain           print, for an x86, an x64 and an ARM64 machine and each
                      display language, the Option and Command the installer
                      would run there, or the status it would end with;
                      writes nothing (exit code 1 when the document fails
                      to load). With --payload, a "decoding:" line as
                      --verify prints it (the archive is not tested); with
                      --folder, the level, the LZMA2 blocks and dictionary
                      packing would pick from the files' total size, the
                      decoding threads that allows and the memory the stub
                      needs
  --languages TAG,TAG,...
                      the display languages for --explain, comma-separated
                      (default: en-US, de-DE, fr-FR, ja-JP, zh-CN, ar-SA and
                      the document's own tags)
  --verify INSTALLER.exe
                      re-check an installer: a 32-bit x86 image, its document
                      loaded for each machine, its payload (methods, item
                      paths, a test decode) and whether a signature follows
                      it; exit code 0 when sound, 1 otherwise. Checking the
                      signature itself is left to osslsigncode verify.
  --require-signature with --verify: an installer without a signature
                      (no certificate table behind the payload) fails, for
                      release gates
  --strict            turn every note into a refusal (exit code 1, nothing
                      written), for CI
  --version           print the packer's version and commit, the stub it
                      packs without --stub, and the licences of what that
                      stub carries
  --help, -h          show this text

On success one line gives the stub size, the payload size and the item count.
Before it, "vm-sfxpack: note: ..." lines name likely mistakes that do not stop
packing: an element or attribute the format does not have, a namespace on
an element, an empty payload, a bare Executable that names no payload item,
an icon image over 256 pixels, an --output that replaces a signed file, a
machine no Option fits. On failure nothing is written, one line
"vm-sfxpack: error: ..." on standard error says why and the exit code is 1 (2
for a mistake on the command line).
)";
}
