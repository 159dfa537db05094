// SPDX-License-Identifier: Apache-2.0
// vm-sfxpack: its command line, the installer it writes, the inputs it
// refuses, and installers it made unpacked by the stub in a real process.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "packer/archive/folder_level.h"
#include "packer/archive/folder_scan.h"
#include "packer/input_file.h"
#include "packer/pack.h"
#include "packer/pack_options.h"
#include "packer/packer_run.h"
#include "packer/pe/pe_resources.h"
#include "packer/verify.h"
#include "packer/pe/version_resource.h"
#include "support/vm_status.h"
#include "tests/tools/system_sha256.h"
#include "tests/packer/packer_inputs.h"
#include "tests/tools/folder_listing.h"
#include "tests/tools/folder_tree.h"
#include "tests/tools/process_runner.h"
#include "tests/tools/temp_folder.h"
#include "tests/tools/unix_side.h"

std::wstring g_payloads;  // made by tests/tasks/make_payloads.py
std::wstring g_inputs;    // made by tests/packer/CMakeLists rules with 7zz
std::wstring g_stub;
std::wstring g_packer;
std::wstring g_icon;  // the stub's own icon file

namespace {

using testing_tools::ListFolder;
using testing_tools::ReadWholeFile;
using testing_tools::WriteWholeFile;
using velmora::VMStatus;
namespace status = velmora::status;

std::uint32_t Get32(const std::string& b, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<std::uint8_t>(b[at + i]);
  return value;
}

constexpr const char* kExtractDocument =
    R"(<?xml version="1.0" encoding="UTF-8"?>
<SelfExtractor FormatVersionMajor="3" FormatVersionMinor="0">
  <Title>Packer test</Title>
  <Extract><FolderSelectionDialog><Enabled>false</Enabled></FolderSelectionDialog></Extract>
</SelfExtractor>
)";

// Options for an x64 machine only.
constexpr const char* kX64OnlyDocument =
    R"(<SelfExtractor FormatVersionMajor="3" FormatVersionMinor="0">
  <Launch>
    <Options>
      <Option Id="x64">
        <ProcessorArchitectureSet><ProcessorArchitecture>x64</ProcessorArchitecture></ProcessorArchitectureSet>
        <Commands>
          <Command Id="install"><CreateProcess><Executable>msiexec.exe</Executable></CreateProcess></Command>
        </Commands>
      </Option>
    </Options>
  </Launch>
</SelfExtractor>
)";

std::wstring Payload(const std::wstring& name) { return g_payloads + L"\\" + name; }

bool Contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

// RT_RCDATA `id` in language 1033: the document (222) or the payload digest (225).
std::string RcDataResource(const std::wstring& installer, bool& present, WORD id = 222) {
  present = false;
  HMODULE module = LoadLibraryExW(installer.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE);
  if (module == nullptr) return {};
  std::string text;
  if (HRSRC resource = FindResourceExW(module, RT_RCDATA, MAKEINTRESOURCEW(id), 1033)) {
    present = true;
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(module, resource)));
    text.assign(bytes, SizeofResource(module, resource));
  }
  FreeLibrary(module);
  return text;
}

class Packing : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(work_.empty()) << GetLastError(); }

  std::wstring Work(const std::wstring& name) const { return work_ + L"\\" + name; }

  std::wstring WriteDocument(const std::string& text) {
    const std::wstring path = Work(L"config.xml");
    WriteWholeFile(path, text);
    return path;
  }

  VMStatus Pack(PackOptions options, PackReport& report, std::wstring& error) {
    if (options.Stub.empty()) options.Stub = g_stub;
    return ::Pack(options, report, error);
  }

  // Runs the installer silently into `target`; returns its exit code.
  std::uint32_t RunInstaller(const std::wstring& installer, const std::wstring& target) {
    const auto result = testing_tools::RunProgram(L"\"" + installer + L"\" --gui off --target \"" + target + L"\"",
                                                  work_, 120000);
    EXPECT_EQ(result.StartError, 0u);
    EXPECT_FALSE(result.TimedOut);
    return result.ExitCode;
  }

  const testing_tools::TempFolder folder_{L"vmstub-pack-"};
  const std::wstring& work_ = folder_.Path();
};

TEST(PackCommandLine, WordsAndMistakes) {
  struct Row {
    const char* Name;
    std::vector<std::wstring> Words;
    bool Accepted;
    std::wstring ErrorPart = {};
  };
  const Row rows[] = {
      {"a payload", {L"--output", L"a.exe", L"--payload", L"p.7z"}, true},
      {"a folder, a document and a stub",
       {L"--output", L"a.exe", L"--config", L"c.xml", L"--stub", L"s.exe", L"--folder", L"dir"},
       true},
      {"help alone", {L"--help"}, true},
      {"version alone", {L"--version"}, true},
      {"version of a named stub", {L"--version", L"--stub", L"s.exe"}, true},
      {"no output", {L"--payload", L"p.7z"}, false, L"--output is required"},
      {"neither payload nor folder", {L"--output", L"a.exe"}, false, L"exactly one of --payload and --folder"},
      {"both payload and folder",
       {L"--output", L"a.exe", L"--payload", L"p.7z", L"--folder", L"dir"},
       false,
       L"exactly one of --payload and --folder"},
      {"an unknown option", {L"--output", L"a.exe", L"--payload", L"p.7z", L"--solid"}, false, L"--solid"},
      {"a value missing", {L"--payload", L"p.7z", L"--output"}, false, L"--output"},
      {"a stray word", {L"--output", L"a.exe", L"--payload", L"p.7z", L"extra"}, false, L"extra"},
      {"a packing option with --verify", {L"--verify", L"a.exe", L"--icon", L"i.ico"}, false, L"belong to packing"},
      {"explain with a payload", {L"--explain", L"--config", L"c.xml", L"--payload", L"p.7z"}, true},
      {"explain with a folder", {L"--explain", L"--config", L"c.xml", L"--folder", L"dir"}, true},
      {"explain with a payload and a folder",
       {L"--explain", L"--config", L"c.xml", L"--payload", L"p.7z", L"--folder", L"dir"},
       false,
       L"not both"},
      {"explain with an output", {L"--explain", L"--config", L"c.xml", L"--folder", L"dir", L"--output", L"a.exe"},
       false, L"separate runs"},
      {"a packing option with --explain", {L"--explain", L"--config", L"c.xml", L"--stub", L"s.exe"}, false,
       L"belong to packing"},
      {"strict packing", {L"--output", L"a.exe", L"--payload", L"p.7z", L"--strict"}, true},
      {"strict explaining", {L"--explain", L"--config", L"c.xml", L"--strict"}, true},
      {"strict verifying", {L"--verify", L"a.exe", L"--strict"}, false, L"--strict belongs to packing"},
      {"a required signature", {L"--verify", L"a.exe", L"--require-signature"}, true},
      {"a signature required of packing", {L"--output", L"a.exe", L"--payload", L"p.7z", L"--require-signature"}, false,
       L"--require-signature belongs to --verify"},
      {"a folder at a level", {L"--output", L"a.exe", L"--folder", L"dir", L"--level", L"max"}, true},
      {"explain a folder at a level", {L"--explain", L"--config", L"c.xml", L"--folder", L"dir", L"--level", L"fast"},
       true},
      {"an unknown level", {L"--output", L"a.exe", L"--folder", L"dir", L"--level", L"9"}, false,
       L"--level is fast, normal or max, not \"9\""},
      {"a level in capitals", {L"--output", L"a.exe", L"--folder", L"dir", L"--level", L"MAX"}, false,
       L"fast, normal or max"},
      {"an empty level", {L"--output", L"a.exe", L"--folder", L"dir", L"--level", L""}, false, L"fast, normal or max"},
      {"a level for a ready archive", {L"--output", L"a.exe", L"--payload", L"p.7z", L"--level", L"max"}, false,
       L"--level belongs to --folder"},
  };
  // --version-info words: accepted, or refused naming why.
  const std::wstring longValue(257, L'x');
  const std::pair<std::wstring, const wchar_t*> versionWords[] = {
      {L"ProductName=Vendor Setup", nullptr},
      {L"FileVersion=1.2.3.4", nullptr},
      {L"FileVersion=65535", nullptr},
      {L"ProductVersion=2.0 beta", nullptr},
      {L"LegalCopyright=" + std::wstring(256, L'\u00E9'), nullptr},
      {L"Comments=x", L"one of the keys"},
      {L"productname=x", L"one of the keys"},
      {L"ProductName", L"one of the keys"},
      {L"ProductName=", L"1 to 256 characters"},
      {L"CompanyName=" + longValue, L"1 to 256 characters"},
      {L"FileVersion=1.2.3.4.5", L"is not a version"},
      {L"ProductVersion=1..2", L"is not a version"},
      {L"FileVersion=65536", L"is not a version"},
      {L"FileVersion=1.2.", L"is not a version"},
      {L"ProductName=a\x1B[2Jb", L"without control characters"},
  };
  for (const auto& [word, errorPart] : versionWords) {
    SCOPED_TRACE(testing::PrintToString(word));
    PackOptions options;
    std::wstring error;
    const VMStatus parsed =
        ParsePackOptions({L"--output", L"a.exe", L"--payload", L"p.7z", L"--version-info", word}, options, error);
    EXPECT_EQ(parsed == status::Ok, errorPart == nullptr) << testing::PrintToString(error);
    if (errorPart != nullptr) {
      EXPECT_TRUE(Contains(error, errorPart)) << testing::PrintToString(error);
    }
  }
  {
    PackOptions options;
    std::wstring error;
    EXPECT_NE(ParsePackOptions({L"--output", L"a.exe", L"--payload", L"p.7z", L"--version-info", L"ProductName=a",
                                L"--version-info", L"ProductName=b"},
                               options, error),
              status::Ok);
    EXPECT_TRUE(Contains(error, L"given twice")) << testing::PrintToString(error);
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    PackOptions options;
    std::wstring error;
    const VMStatus parsed = ParsePackOptions(row.Words, options, error);
    EXPECT_EQ(parsed == status::Ok, row.Accepted) << testing::PrintToString(error);
    if (!row.Accepted) {
      EXPECT_TRUE(Contains(error, row.ErrorPart)) << testing::PrintToString(error);
      EXPECT_EQ(error.rfind(L"vm-sfxpack: error: ", 0), 0u) << "one style: " << testing::PrintToString(error);
    }
  }
  PackOptions options;
  std::wstring error;
  ASSERT_EQ(ParsePackOptions({L"--output", L"o.exe", L"--config", L"c.xml", L"--stub", L"s.exe", L"--payload",
                              L"p.7z"},
                             options, error),
            status::Ok);
  EXPECT_EQ(options.Output, L"o.exe");
  EXPECT_EQ(options.Config, L"c.xml");
  EXPECT_EQ(options.Stub, L"s.exe");
  EXPECT_EQ(options.Payload, L"p.7z");
  EXPECT_TRUE(options.Folder.empty());
  EXPECT_EQ(options.Level, FolderLevel::Normal);
  ASSERT_EQ(ParsePackOptions({L"--output", L"o.exe", L"--folder", L"dir", L"--level", L"fast"}, options, error),
            status::Ok);
  EXPECT_EQ(options.Level, FolderLevel::Fast);
}

TEST_F(Packing, InstallerIsTheStubWithItsDocumentAndThePayloadBehind) {
  const std::wstring installer = Work(L"setup.exe");
  const std::string payload = ReadWholeFile(Payload(L"method-lzma2.7z"));
  PackReport report;
  std::wstring error;
  ASSERT_EQ(Pack({.Output = installer, .Config = WriteDocument(kExtractDocument), .Payload = Payload(L"method-lzma2.7z")},
                 report, error),
            status::Ok)
      << testing::PrintToString(error);

  const std::string written = ReadWholeFile(installer);
  EXPECT_EQ(report.PayloadSize, payload.size());
  EXPECT_EQ(report.StubSize + report.PayloadSize, written.size());
  EXPECT_EQ(report.ItemCount, 13u);
  EXPECT_TRUE(written.compare(report.StubSize, std::string::npos, payload) == 0) << "payload directly behind the image";
  bool present = false;
  EXPECT_EQ(RcDataResource(installer, present), kExtractDocument);
  EXPECT_TRUE(present);
  // The image names the payload by its SHA-256.
  velmora::VMWinSha256 sha;
  velmora::VMWinSha256::Digest digest{};
  ASSERT_EQ(sha.Start(), status::Ok);
  ASSERT_EQ(sha.Add(payload.data(), payload.size()), status::Ok);
  ASSERT_EQ(sha.Finish(digest), status::Ok);
  EXPECT_EQ(RcDataResource(installer, present, 225), std::string(digest.begin(), digest.end()));
  EXPECT_TRUE(present);
  EXPECT_TRUE(report.Notes.empty());
  EXPECT_EQ(SummaryLine(L"setup.exe", report), L"setup.exe: stub " + std::to_wstring(report.StubSize) +
                                                   L" bytes, payload " + std::to_wstring(payload.size()) +
                                                   L" bytes, 13 items.");

  // Without a document the installer carries none, even when the stub it
  // starts from had one.
  const std::wstring withDocument = Work(L"with-document.exe");
  ASSERT_TRUE(CopyFileW(g_stub.c_str(), withDocument.c_str(), FALSE));
  HANDLE update = BeginUpdateResourceW(withDocument.c_str(), FALSE);
  ASSERT_NE(update, nullptr);
  ASSERT_TRUE(UpdateResourceW(update, RT_RCDATA, MAKEINTRESOURCEW(222), 1033, const_cast<char*>(kExtractDocument),
                              static_cast<DWORD>(std::string(kExtractDocument).size())));
  ASSERT_TRUE(EndUpdateResourceW(update, FALSE));
  const std::wstring plain = Work(L"plain.exe");
  ASSERT_EQ(Pack({.Output = plain, .Stub = withDocument, .Payload = Payload(L"method-copy.7z")}, report, error),
            status::Ok)
      << testing::PrintToString(error);
  (void)RcDataResource(plain, present);
  EXPECT_FALSE(present);
}

BOOL CALLBACK CountName(HMODULE, LPCWSTR, LPWSTR, LONG_PTR count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

// The icon and the version texts as Windows reads them from the installer;
// texts not given keep the stub's own, and the installer still runs.
TEST_F(Packing, IconAndVersionTextsReadBack) {
  pe_resources::PeImage stub;
  std::wstring error;
  const std::string stubBytes = ReadWholeFile(g_stub);
  ASSERT_EQ(stub.Load(pe_resources::Bytes(stubBytes.begin(), stubBytes.end()), error), status::Ok);
  SetVersionResource(stub, {{u"CompanyName", u"Stub Maker"}, {u"ProductVersion", u"9.8"}});
  pe_resources::Bytes withVersion;
  ASSERT_EQ(stub.Write(withVersion, error), status::Ok);
  const std::wstring stubPath = Work(L"stub.exe");
  WriteWholeFile(stubPath, std::string(withVersion.begin(), withVersion.end()));

  // A PNG image and the stub's 32x32 bitmap.
  const std::string original = ReadWholeFile(g_icon);
  // The PNG's header chunk gives the 16x16 of the directory entry it takes.
  const std::string png = std::string("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\0\x10\0\0\0\x10", 24) + std::string(100, 'p');
  const std::string bitmap = original.substr(Get32(original, 22 + 12), Get32(original, 22 + 8));
  std::string ico = std::string("\0\0\1\0\2\0", 6) + original.substr(6, 8) + std::string(8, '\0') +
                    original.substr(22, 12) + std::string(4, '\0');
  for (const auto& [entry, image] : {std::pair{6, &png}, std::pair{22, &bitmap}}) {
    for (int i = 0; i < 4; ++i) ico[entry + 8 + i] = static_cast<char>(image->size() >> (8 * i));
    for (int i = 0; i < 4; ++i) ico[entry + 12 + i] = static_cast<char>(ico.size() >> (8 * i));
    ico += *image;
  }
  const std::wstring iconPath = Work(L"vendor.ico");
  WriteWholeFile(iconPath, ico);

  PackOptions options;
  ASSERT_EQ(ParsePackOptions({L"--output", Work(L"setup.exe"), L"--config", WriteDocument(kExtractDocument), L"--stub",
                              stubPath, L"--icon", iconPath, L"--payload", Payload(L"method-lzma2.7z"),
                              L"--version-info", L"ProductName=Vendor Setup", L"--version-info", L"FileVersion=1.2.3.4",
                              L"--version-info", L"LegalCopyright=\u00A9 2026 Vendor"},
                             options, error),
            status::Ok)
      << testing::PrintToString(error);
  PackReport report;
  ASSERT_EQ(::Pack(options, report, error), status::Ok) << testing::PrintToString(error);

  const std::wstring installer = options.Output;
  std::vector<char> info(GetFileVersionInfoSizeW(installer.c_str(), nullptr));
  ASSERT_FALSE(info.empty());
  ASSERT_TRUE(GetFileVersionInfoW(installer.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
  const std::pair<const wchar_t*, const wchar_t*> texts[] = {
      {L"ProductName", L"Vendor Setup"}, {L"CompanyName", L"Stub Maker"}, {L"FileVersion", L"1.2.3.4"},
      {L"ProductVersion", L"9.8"},       {L"LegalCopyright", L"\u00A9 2026 Vendor"}};
  for (const auto& [key, expected] : texts) {
    wchar_t* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), (std::wstring(L"\\StringFileInfo\\040904B0\\") + key).c_str(),
                               reinterpret_cast<void**>(&value), &length))
        << testing::PrintToString(key);
    EXPECT_EQ(std::wstring(value), expected);
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010002u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00030004u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00090008u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);

  HMODULE module = LoadLibraryExW(installer.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr);
  auto resource = [&](LPCWSTR type, WORD id) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
    if (found == nullptr) return std::string();
    return std::string(static_cast<const char*>(LockResource(LoadResource(module, found))), SizeofResource(module, found));
  };
  const std::string group = resource(RT_GROUP_ICON, 1);
  ASSERT_EQ(group.size(), 6u + 2 * 14);
  EXPECT_EQ(group.substr(0, 6), ico.substr(0, 6));
  for (const auto& [entry, image] : {std::pair{0, &png}, std::pair{1, &bitmap}}) {
    EXPECT_EQ(group.substr(6 + entry * 14, 12), ico.substr(6 + entry * 16, 12));
    EXPECT_EQ(resource(RT_ICON, static_cast<WORD>(static_cast<std::uint8_t>(group[6 + entry * 14 + 12]))), *image);
  }
  int icons = 0;
  EnumResourceNamesW(module, RT_ICON, &CountName, reinterpret_cast<LONG_PTR>(&icons));
  EXPECT_EQ(icons, 2) << "the stub's icons are gone";
  FreeLibrary(module);

  const std::wstring target = Work(L"target");
  EXPECT_EQ(RunInstaller(installer, target), 0u);
  EXPECT_NE(GetFileAttributesW(target.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Packing, MachinesWithoutAnOptionAreNotedNotRefused) {
  PackReport report;
  std::wstring error;
  ASSERT_EQ(Pack({.Output = Work(L"setup.exe"), .Config = WriteDocument(kX64OnlyDocument),
                  .Payload = Payload(L"method-copy.7z")},
                 report, error),
            status::Ok)
      << testing::PrintToString(error);
  ASSERT_EQ(report.Notes.size(), 3u);
  EXPECT_TRUE(Contains(report.Notes[0], L"x86") && Contains(report.Notes[0], L"0xEE002004"));
  EXPECT_TRUE(Contains(report.Notes[1], L"ARM64") && Contains(report.Notes[1], L"0xEE002004"));
  // A bare system program is not in the payload: the note says where the
  // stub looks for it instead.
  EXPECT_TRUE(Contains(report.Notes[2], L"<Executable>msiexec.exe</Executable>"));
}

// Every refusal names its reason, and leaves the folder as it was: no
// installer, no temporary file, and an older installer of the same name
// untouched.
TEST_F(Packing, RefusedInputsLeaveNothingBehind) {
  const std::string archive = ReadWholeFile(Payload(L"method-lzma2.7z"));
  ASSERT_GT(archive.size(), 200u);
  auto flipped = [&](std::size_t at) {
    std::string copy = archive;
    copy[at] = static_cast<char>(copy[at] ^ 0x55);
    return copy;
  };
  struct Row {
    const char* Name;
    std::string Document = {};       // written to config.xml when not empty
    std::wstring PayloadName = {};   // from the payload folder
    std::string PayloadBytes = {};   // else written to payload.7z when not empty
    std::string StubBytes = {};      // a stub made of these bytes instead of the real one
    bool StubWithTail = false;       // the real stub with bytes behind its image
    std::wstring Folder = {};        // --folder instead of a payload
    bool OutputIsPayload = false;
    bool OutputIsIcon = false;
    bool OutputInFolder = false;     // --folder is the work folder, the output inside it
    bool OutputInMissingFolder = false;
    std::string IconBytes = {};      // written to icon.ico and given as --icon when not empty
    std::wstring ErrorPart;
  };
  const std::string icon = ReadWholeFile(g_icon);
  auto iconWith = [&](std::size_t at, std::uint32_t value) {
    std::string copy = icon;
    for (int i = 0; i < 4; ++i) copy[at + i] = static_cast<char>(value >> (8 * i));
    return copy;
  };
  // The last image of the icon grown by a whole archive behind it, which the
  // stub would find before its payload.
  std::string iconAndArchive = iconWith(6 + 16 + 8, Get32(icon, 6 + 16 + 8) + static_cast<std::uint32_t>(archive.size()));
  iconAndArchive += archive;
  std::string sameImageTwice = icon;
  sameImageTwice.replace(6 + 16, 16, icon.substr(6, 16));
  const Row rows[] = {
      {.Name = "a document that is not XML", .Document = "<SelfExtractor", .PayloadName = L"method-copy.7z",
       .ErrorPart = L"not well-formed XML"},
      {.Name = "a document the loader refuses names the element",
       .Document = R"(<SelfExtractor FormatVersionMajor="3" FormatVersionMinor="0"><Launch><Options>
<Option Id="a"><ProcessorArchitectureSet><ProcessorArchitecture>x64</ProcessorArchitecture></ProcessorArchitectureSet>
<Commands><Command Id="go"><CreateProcess Wait="true"><Executable>a.exe</Executable></CreateProcess></Command></Commands>
</Option></Options></Launch></SelfExtractor>)",
       .PayloadName = L"method-copy.7z", .ErrorPart = L"0xEE000051 (InvalidConfiguration), in <Command Id=\"go\"> at line 3"},
      {.Name = "WaitForProcessTree where it cannot work",
       .Document = R"(<SelfExtractor FormatVersionMajor="3" FormatVersionMinor="1"><Launch><Options>
<Option Id="a"><ProcessorArchitectureSet><ProcessorArchitecture>x64</ProcessorArchitecture></ProcessorArchitectureSet>
<Commands><Command Id="go"><ShellExecute><Executable>a.exe</Executable></ShellExecute>
<WaitForProcessTree>true</WaitForProcessTree></Command></Commands></Option></Options></Launch></SelfExtractor>)",
       .PayloadName = L"method-copy.7z", .ErrorPart = L"<WaitForProcessTree> at line 4 has no effect there"},
      {.Name = "a document of another format version", .Document = R"(<SelfExtractor FormatVersionMajor="2" FormatVersionMinor="0"/>)",
       .PayloadName = L"method-copy.7z", .ErrorPart = L"<SelfExtractor> at line 1 has format version 2.0"},
      {.Name = "a document with a NUL byte", .Document = std::string("<SelfExtractor/>\0x", 18),
       .PayloadName = L"method-copy.7z", .ErrorPart = L"NUL"},
      {.Name = "a missing payload", .PayloadName = L"no-such.7z", .ErrorPart = L"cannot open"},
      {.Name = "a payload that is no archive", .PayloadBytes = "just text, no archive", .ErrorPart = L"not a 7z archive"},
      {.Name = "a truncated signature", .PayloadBytes = archive.substr(0, 12), .ErrorPart = L"not a 7z archive"},
      {.Name = "a payload truncated in its data", .PayloadBytes = archive.substr(0, 100),
       .ErrorPart = L"is cut short: " + std::to_wstring(archive.size() - 100) + L" bytes missing"},
      {.Name = "a payload without its last byte", .PayloadBytes = archive.substr(0, archive.size() - 1),
       .ErrorPart = L"is cut short: 1 byte missing"},
      {.Name = "a flipped byte in the start header", .PayloadBytes = flipped(20), .ErrorPart = L"not a 7z archive"},
      {.Name = "a flipped byte in the packed data", .PayloadBytes = flipped(40), .ErrorPart = L"payload"},
      {.Name = "a flipped byte in the header", .PayloadBytes = flipped(archive.size() - 10), .ErrorPart = L"not a 7z archive"},
      {.Name = "an encrypted item", .PayloadName = L"encrypted.7z", .ErrorPart = L"encrypted"},
      {.Name = "an item with a parent part", .PayloadName = L"crafted-unsafe-parent.7z", .ErrorPart = L"outside the target folder"},
      {.Name = "a nested parent part", .PayloadName = L"crafted-unsafe-parent-nested.7z", .ErrorPart = L"outside the target folder"},
      {.Name = "a drive", .PayloadName = L"crafted-unsafe-drive.7z", .ErrorPart = L"outside the target folder"},
      {.Name = "a UNC path", .PayloadName = L"crafted-unsafe-unc.7z", .ErrorPart = L"outside the target folder"},
      {.Name = "an alternate data stream", .PayloadName = L"crafted-unsafe-stream.7z", .ErrorPart = L"outside the target folder"},
      {.Name = "a rooted path", .PayloadName = L"crafted-unsafe-rooted.7z", .ErrorPart = L"outside the target folder"},
      {.Name = "a device name", .PayloadName = L"crafted-unsafe-device.7z",
       .ErrorPart = L"NUL.txt\" names a Windows device"},
      {.Name = "a dot element", .PayloadName = L"crafted-unsafe-dot.7z", .ErrorPart = L"or onto the folder itself"},
      {.Name = "a trailing dot and space", .PayloadName = L"crafted-unsafe-trailing.7z",
       .ErrorPart = L"a name Windows cannot keep"},
      {.Name = "a forbidden character", .PayloadName = L"crafted-unsafe-forbidden.7z",
       .ErrorPart = L"a name Windows cannot keep"},
      {.Name = "a path the library cannot report", .PayloadName = L"crafted-unsafe-long.7z",
       .ErrorPart = L"path of 16383 characters"},
      {.Name = "a file without a CRC", .PayloadName = L"crafted-nocrc.7z", .ErrorPart = L"has no CRC"},
      {.Name = "items below a file", .PayloadName = L"crafted-file-then-folder.7z", .ErrorPart = L"lies below it"},
      {.Name = "names equal but for letter case", .PayloadName = L"crafted-case.7z",
       .ErrorPart = L"\"Readme.txt\" and \"README.TXT\" name the same file"},
      {.Name = "a symbolic link", .PayloadName = L"crafted-symlink.7z", .ErrorPart = L"is a symbolic link"},
      {.Name = "an anti-item", .PayloadName = L"crafted-anti.7z", .ErrorPart = L"deletion marker"},
      {.Name = "a method the stub lacks", .PayloadName = L"..\\packer-inputs\\bzip2.7z", .ErrorPart = L"coding method the stub does not have"},
      {.Name = "encrypted headers", .PayloadName = L"..\\packer-inputs\\encrypted-headers.7z", .ErrorPart = L"headers are encrypted"},
      {.Name = "a stub that is no program", .PayloadName = L"method-copy.7z", .StubBytes = "MZ but nothing more",
       .ErrorPart = L"is not a 32-bit x86 Windows program"},
      {.Name = "a stub that already carries a payload", .PayloadName = L"method-copy.7z", .StubWithTail = true,
       .ErrorPart = L"behind its image"},
      {.Name = "a missing folder", .Folder = L"no-such-folder", .ErrorPart = L"does not exist"},
      {.Name = "the output in place of the payload", .PayloadBytes = archive, .OutputIsPayload = true,
       .ErrorPart = L"would replace the input"},
      {.Name = "an icon that is a cursor", .PayloadName = L"method-copy.7z", .IconBytes = iconWith(2, 2),
       .ErrorPart = L"is refused: it is not an icon file"},
      {.Name = "an icon without images", .PayloadName = L"method-copy.7z", .IconBytes = std::string("\0\0\1\0\0\0", 6),
       .ErrorPart = L"it has no images"},
      {.Name = "an icon cut in its directory", .PayloadName = L"method-copy.7z", .IconBytes = icon.substr(0, 20),
       .ErrorPart = L"directory is cut short"},
      {.Name = "an icon image beyond the file", .PayloadName = L"method-copy.7z",
       .IconBytes = iconWith(6 + 8, static_cast<std::uint32_t>(icon.size())), .ErrorPart = L"image 1 lies outside"},
      {.Name = "an icon image inside the directory", .PayloadName = L"method-copy.7z", .IconBytes = iconWith(6 + 12, 2),
       .ErrorPart = L"image 1 lies outside"},
      {.Name = "an icon image of another format", .PayloadName = L"method-copy.7z",
       .IconBytes = iconWith(Get32(icon, 6 + 12), 0x46464947), .ErrorPart = L"image 1 is neither a PNG nor a bitmap"},
      {.Name = "an icon hiding an archive", .PayloadName = L"method-copy.7z", .IconBytes = iconAndArchive,
       .ErrorPart = L"holds the 7z signature"},
      {.Name = "a payload with bytes before the archive", .PayloadBytes = "MZ" + archive, .ErrorPart = L"not a 7z archive"},
      {.Name = "an icon whose images overlap", .PayloadName = L"method-copy.7z", .IconBytes = sameImageTwice,
       .ErrorPart = L"two of its images overlap"},
      {.Name = "an icon image whose header lies about its size", .PayloadName = L"method-copy.7z",
       .IconBytes = iconWith(Get32(icon, 6 + 12) + 4, 64), .ErrorPart = L"does not match its directory entry"},
      {.Name = "the output in place of the icon", .PayloadName = L"method-copy.7z", .OutputIsIcon = true,
       .IconBytes = icon, .ErrorPart = L"would replace the input"},
      {.Name = "the output inside the folder", .OutputInFolder = true, .ErrorPart = L"inside the folder"},
      {.Name = "the output in a missing folder", .PayloadName = L"method-copy.7z", .OutputInMissingFolder = true,
       .ErrorPart = L"folder of the output"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    const std::wstring installer = Work(L"setup.exe");
    WriteWholeFile(installer, "an older installer");
    PackOptions options{.Output = installer};
    if (!row.Document.empty()) options.Config = WriteDocument(row.Document);
    if (!row.PayloadName.empty()) options.Payload = Payload(row.PayloadName);
    if (!row.PayloadBytes.empty()) {
      options.Payload = Work(L"payload.7z");
      WriteWholeFile(options.Payload, row.PayloadBytes);
    }
    if (!row.StubBytes.empty() || row.StubWithTail) {
      options.Stub = Work(L"stub.exe");
      WriteWholeFile(options.Stub, row.StubWithTail ? ReadWholeFile(g_stub) + archive : row.StubBytes);
    }
    if (!row.Folder.empty()) options.Folder = Work(row.Folder);
    if (row.OutputIsPayload) options.Output = options.Payload;
    if (row.OutputInFolder) options.Folder = work_;
    if (row.OutputInMissingFolder) options.Output = Work(L"no-such-folder\\setup.exe");
    if (!row.IconBytes.empty()) {
      options.Icon = Work(L"icon.ico");
      WriteWholeFile(options.Icon, row.IconBytes);
    }
    if (row.OutputIsIcon) options.Output = options.Icon;
    const auto before = ListFolder(work_);

    PackReport report;
    std::wstring error;
    EXPECT_NE(Pack(options, report, error), status::Ok);
    EXPECT_TRUE(Contains(error, row.ErrorPart)) << testing::PrintToString(error);
    EXPECT_EQ(error.find(L'\n'), std::wstring::npos) << "one line";
    EXPECT_TRUE(ListFolder(work_) == before) << "the folder changed";
  }
}

// What a user reads: each note and message as the packer prints it, with
// its exit code. Notes leave the exit code at 0; --strict refuses them.
TEST_F(Packing, NotesAndMessagesAsPrinted) {
  const std::wstring files = Work(L"files");
  const std::wstring empty = Work(L"empty");
  ASSERT_TRUE(CreateDirectoryW(files.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(empty.c_str(), nullptr));
  WriteWholeFile(files + L"\\install.cmd", "@exit 0\r\n");
  const std::wstring signedOutput = Work(L"signed-setup.exe");
  const std::string signedBytes = ReadWholeFile(Payload(L"signed.exe"));
  // PNG icons of one image whose directory entry says 0 (256 or more).
  auto pngIcon = [](std::uint32_t side, std::size_t dataSize) {
    std::string png = std::string("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR", 16);
    for (const std::uint32_t value : {side, side}) {
      for (int i = 3; i >= 0; --i) png += static_cast<char>(value >> (8 * i));
    }
    png += std::string(dataSize, 'p');
    std::string ico = std::string("\0\0\1\0\1\0\0\0\0\0\1\0\x20\0", 14);
    for (const std::size_t value : {png.size(), std::size_t{22}}) {
      for (int i = 0; i < 4; ++i) ico += static_cast<char>(value >> (8 * i));
    }
    return ico + png;
  };
  WriteWholeFile(Work(L"large.ico"), pngIcon(512, 100));
  WriteWholeFile(Work(L"huge.ico"), pngIcon(256, 8u << 20));
  const std::string archive = ReadWholeFile(Payload(L"method-lzma2.7z"));
  WriteWholeFile(Work(L"short.7z"), archive.substr(0, archive.size() - 1));
  PackReport packed;
  std::wstring error;
  ASSERT_EQ(Pack({.Output = Work(L"unsigned.exe"), .Payload = Payload(L"method-copy.7z")}, packed, error), status::Ok);
  const std::string unsignedBytes = ReadWholeFile(Work(L"unsigned.exe"));
  WriteWholeFile(Work(L"short.exe"), unsignedBytes.substr(0, unsignedBytes.size() - 1));

  const auto launch = [](const std::string& executable, const std::string& attributes = "") {
    return "<SelfExtractor FormatVersionMajor=\"3\" FormatVersionMinor=\"0\"" + attributes +
           "><Launch><Options>\n<Option Id=\"a\"><ProcessorArchitectureSet><ProcessorArchitecture>x86</ProcessorArchitecture>"
           "<ProcessorArchitecture>x64</ProcessorArchitecture><ProcessorArchitecture>ARM64</ProcessorArchitecture>"
           "</ProcessorArchitectureSet>\n<Commands><Command Id=\"go\"><CreateProcess>\n<Executable>" +
           executable + "</Executable></CreateProcess></Command></Commands></Option></Options></Launch></SelfExtractor>";
  };
  const std::wstring folderPack = L"--folder";
  struct Row {
    const char* Name;
    std::string Document = {};                // given as --config when not empty
    std::vector<std::wstring> Words = {};     // packing words get --stub and --output
    bool Packs = true;
    int Exit = 0;
    std::vector<std::wstring> Printed = {};
    std::wstring Absent = {};
    bool KeepsOutput = false;  // the signed file at --output stays as it was
  };
  const Row rows[] = {
      {.Name = "a bare call prints the usage", .Packs = false, .Exit = 2,
       .Printed = {L"Usage: vm-sfxpack --output OUT.exe", L"  or:  vm-sfxpack --verify INSTALLER.exe [--require-signature]"}},
      {.Name = "a command-line mistake", .Words = {L"--payload", Payload(L"method-copy.7z"), L"--stray"}, .Exit = 2,
       .Printed = {L"vm-sfxpack: error: unknown option --stray."}},
      {.Name = "a misspelt element",
       .Document = "<SelfExtractor FormatVersionMajor=\"3\" FormatVersionMinor=\"0\">\n<Extract>\n"
                   "<FolderSelectionDialogue><Enabled>false</Enabled></FolderSelectionDialogue>\n</Extract></SelfExtractor>",
       .Words = {folderPack, files},
       .Printed = {L"vm-sfxpack: note: <FolderSelectionDialogue> at line 3 is not an element the format has inside "
                   L"<Extract> (it has <ProgressDialog>, <TargetPath> and <FolderSelectionDialog>); the stub ignores it.",
                   L"setup.exe: stub "}},
      {.Name = "an unknown attribute and a namespace",
       .Document = launch("install.cmd", " xmlns=\"urn:vendor\" Version=\"2\""), .Words = {folderPack, files},
       .Printed = {L"vm-sfxpack: note: <SelfExtractor> at line 1 declares the namespace \"urn:vendor\"",
                   L"vm-sfxpack: note: the attribute Version of <SelfExtractor> at line 1 is not one the format has there "
                   L"(it has FormatVersionMajor and FormatVersionMinor); the stub ignores it."}},
      {.Name = "schema attributes and a foreign element pass",
       .Document = launch("INSTALL.CMD", " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                                         "xsi:noNamespaceSchemaLocation=\"s.xsd\" xmlns:v=\"urn:v\"><v:Note/"),
       .Words = {folderPack, files}, .Printed = {L"setup.exe: stub "}, .Absent = L"note:"},
      {.Name = "a bare program not in the payload", .Document = launch("instal.cmd"), .Words = {folderPack, files},
       .Printed = {L"vm-sfxpack: note: <Executable>instal.cmd</Executable> at line 4 names no item at the top of the "
                   L"payload (letter case aside): the stub looks for it in the Windows system folder"}},
      {.Name = "a bare program without .exe found", .Document = launch("install"), .Words = {folderPack, files},
       .Printed = {L"names no item"}},
      {.Name = "an empty folder", .Words = {folderPack, empty},
       .Printed = {L"vm-sfxpack: note: the folder " + empty + L" holds nothing: the installer unpacks no file.",
                   L"0 items."}},
      {.Name = "an icon over 256 pixels", .Words = {L"--payload", Payload(L"method-copy.7z"), L"--icon", Work(L"large.ico")},
       .Printed = {L"vm-sfxpack: note: the icon " + Work(L"large.ico") + L" holds an image of 512 pixels"}},
      {.Name = "an output over a signed installer", .Words = {L"--payload", Payload(L"method-copy.7z"), L"--output", signedOutput},
       .Printed = {L"vm-sfxpack: note: --output replaces " + signedOutput + L", which carries a signature"}},
      {.Name = "--strict refuses a note and writes nothing",
       .Words = {L"--payload", Payload(L"method-copy.7z"), L"--output", signedOutput, L"--strict"}, .Exit = 1,
       .Printed = {L"vm-sfxpack: note: --output replaces",
                   L"vm-sfxpack: error: --strict refuses an installer with 1 note; nothing was written."},
       .KeepsOutput = true},
      {.Name = "--strict passes a document without notes", .Document = launch("install.cmd"),
       .Words = {folderPack, files, L"--strict"}, .Printed = {L"1 item."}, .Absent = L"note:"},
      {.Name = "a mismatched closing tag",
       .Document = "<SelfExtractor FormatVersionMajor=\"3\" FormatVersionMinor=\"0\">\n  <Launch>\n    <Options/>\n  </Extract>\n"
                   "</SelfExtractor>",
       .Words = {folderPack, files}, .Exit = 1,
       .Printed = {L"vm-sfxpack: error: the configuration fails to load with 0xEE000057 (XmlParseError), the document is "
                   L"not well-formed XML: the closing tag </Extract> at line 4, column 3 does not match the opening tag "
                   L"<Launch> at line 2, column 3."},
       .Absent = L"XML_ERROR"},
      {.Name = "an element never closed", .Document = "<SelfExtractor FormatVersionMajor=\"3\" FormatVersionMinor=\"0\">\n <Title>a",
       .Words = {folderPack, files}, .Exit = 1,
       .Printed = {L"the element <Title> opened at line 2, column 2 is never closed."}},
      {.Name = "an unquoted value", .Document = "<SelfExtractor FormatVersionMajor=3 FormatVersionMinor=\"0\"/>",
       .Words = {folderPack, files}, .Exit = 1,
       .Printed = {L"the value of the attribute FormatVersionMajor at line 1, column 16 is not in quotes."}},
      {.Name = "a format version the stub does not read",
       .Document = "<?xml version=\"1.0\"?>\n<SelfExtractor FormatVersionMajor=\"4\" FormatVersionMinor=\"0\"/>",
       .Words = {folderPack, files}, .Exit = 1,
       .Printed = {L"vm-sfxpack: error: the configuration fails to load with 0xEE000051 (InvalidConfiguration), "
                   L"<SelfExtractor> at line 2 has format version 4.0; this stub reads 3.0 and 3.1 only."},
       .Absent = L"machine"},
      {.Name = "explain says a load failure once", .Document = "<SelfExtractor", .Words = {L"--explain"}, .Packs = false,
       .Exit = 1, .Printed = {L"The document fails to load: the configuration fails to load with 0xEE000057"},
       .Absent = L"x86 "},
      {.Name = "explain notes and --strict", .Document = launch("instal.exe", " Version=\"2\""),
       .Words = {L"--explain", L"--strict"}, .Packs = false, .Exit = 1,
       .Printed = {L"vm-sfxpack: note: the attribute Version", L"x64", L"vm-sfxpack: error: --strict refuses a document with notes."}},
      {.Name = "a payload cut short", .Words = {L"--payload", Work(L"short.7z")}, .Exit = 1,
       .Printed = {L"vm-sfxpack: error: the payload " + Work(L"short.7z") + L" is cut short: 1 byte missing (its start "
                   L"header declares " + std::to_wstring(archive.size()) + L" bytes, " +
                   std::to_wstring(archive.size() - 1) + L" are there)"}},
      {.Name = "an icon that makes the image too large",
       .Document = launch("install.cmd"), .Words = {folderPack, files, L"--icon", Work(L"huge.ico")}, .Exit = 1,
       .Printed = {L"vm-sfxpack: error: the installer's image would be ", L"the icon " + Work(L"huge.ico") + L" adds ",
                   L"the document ", L"; the stub alone takes "}},
      {.Name = "an unsigned installer with --require-signature",
       .Words = {L"--verify", Work(L"unsigned.exe"), L"--require-signature"}, .Packs = false, .Exit = 1,
       .Printed = {L"signature", L"vm-sfxpack: error: no certificate table follows the payload: " + Work(L"unsigned.exe") +
                   L" is not signed, and --require-signature asks for a signature."}},
      {.Name = "an installer cut short", .Words = {L"--verify", Work(L"short.exe")}, .Packs = false, .Exit = 1,
       .Printed = {L"vm-sfxpack: error: the payload of " + Work(L"short.exe") + L" is cut short: 1 byte missing"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    WriteWholeFile(signedOutput, signedBytes);
    std::vector<std::wstring> words = row.Words;
    if (!row.Document.empty()) {
      words.push_back(L"--config");
      words.push_back(WriteDocument(row.Document));
    }
    const bool named = std::find(words.begin(), words.end(), L"--output") != words.end();
    if (row.Packs) words.insert(words.end(), {L"--stub", g_stub});
    if (row.Packs && !named) words.insert(words.end(), {L"--output", Work(L"setup.exe")});
    std::wstring printed;
    const auto keep = [&](const std::wstring& line) { printed += line + L"\n"; };
    EXPECT_EQ(RunPacker(words, keep, keep), row.Exit) << testing::PrintToString(printed);
    for (const std::wstring& part : row.Printed) {
      EXPECT_TRUE(Contains(printed, part)) << testing::PrintToString(part) << " in " << testing::PrintToString(printed);
    }
    if (!row.Absent.empty()) {
      EXPECT_FALSE(Contains(printed, row.Absent)) << testing::PrintToString(printed);
    }
    if (row.KeepsOutput) {
      EXPECT_EQ(ReadWholeFile(signedOutput), signedBytes) << "the signed file was replaced";
    }
  }
}

// A link in the folder would pack what it points to, outside the folder;
// so would one swapped in between the scan and the reading, which is why a
// scanned file is opened only as the very file the scan saw.
TEST(PackingAFolder, RefusesLinksOfEveryKind) {
  struct Row {
    const char* Name;
    const wchar_t* LinkAt;
    const wchar_t* LinkTo;  // null: another file is renamed over LinkAt
    bool AfterScan = false;
  };
  const Row rows[] = {
      {"a link to a file", L"secret.txt", L"outside\\secret.txt"},
      {"a link to a folder", L"docs", L"outside"},
      {"a link deeper down", L"sub\\secret.txt", L"outside\\secret.txt"},
      {"a file swapped for a link after the scan", L"readme.txt", L"outside\\secret.txt", true},
      {"a file swapped for another after the scan", L"readme.txt", nullptr, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    const testing_tools::TempFolder work;
    ASSERT_TRUE(CreateDirectoryW((work / L"outside").c_str(), nullptr));
    WriteWholeFile(work / L"outside\\secret.txt", "secret");
    ASSERT_TRUE(CreateDirectoryW((work / L"source").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((work / L"source\\sub").c_str(), nullptr));
    WriteWholeFile(work / L"source\\readme.txt", "read me");
    const std::wstring at = work / (std::wstring(L"source\\") + row.LinkAt);
    std::vector<FolderItem> items;
    std::wstring error;
    if (row.AfterScan) {
      ASSERT_EQ(ScanFolder(work / L"source", items, error), status::Ok) << testing::PrintToString(error);
    }
    // A link takes the file's place once it is gone; another file is made
    // beside it and renamed over it, so it cannot reuse the first one's ID.
    if (row.AfterScan && row.LinkTo != nullptr) {
      ASSERT_TRUE(DeleteFileW(at.c_str()));
    }
    if (row.LinkTo == nullptr) {
      WriteWholeFile(at + L".new", "read me");
      ASSERT_TRUE(MoveFileExW((at + L".new").c_str(), at.c_str(), MOVEFILE_REPLACE_EXISTING));
    } else if (!testing_tools::MakeSymbolicLink(work / row.LinkTo, at)) {
      GTEST_SKIP() << "links are made on the Unix side under Wine";
    }
    if (row.AfterScan) {
      for (const FolderItem& item : items) {
        if (item.IsDirectory) continue;
        InputFile file;
        EXPECT_EQ(file.OpenScanned(item.FullPath, item.Device, item.Inode),
                  item.FullPath == at ? status::InvalidValue : status::Ok);
      }
      continue;
    }
    PackReport report;
    EXPECT_NE(::Pack({.Output = work / L"setup.exe", .Stub = g_stub, .Folder = work / L"source"}, report, error),
              status::Ok);
    EXPECT_TRUE(Contains(error, L"holds a link")) << testing::PrintToString(error);
    EXPECT_EQ(GetFileAttributesW((work / L"setup.exe").c_str()), INVALID_FILE_ATTRIBUTES);
  }
}

// What a user sees: the packer's exit code, and no installer after a
// failure.
TEST_F(Packing, ExitCodes) {
  struct Row {
    const char* Name;
    std::wstring Arguments;
    std::uint32_t ExitCode;
    bool Written;
  };
  const std::wstring installer = Work(L"setup.exe");
  const std::wstring sound = Work(L"sound.exe");
  PackReport report;
  std::wstring error;
  ASSERT_EQ(Pack({.Output = sound, .Payload = Payload(L"tree.7z")}, report, error), status::Ok);
  const Row rows[] = {
      {"help", L"--help", 0, false},
      {"version", L"--version", 0, false},
      {"a mistake on the command line", L"--output \"" + installer + L"\"", 2, false},
      {"a refused payload", L"--output \"" + installer + L"\" --payload \"" + Payload(L"encrypted.7z") + L"\"", 1, false},
      {"success", L"--output \"" + installer + L"\" --payload \"" + Payload(L"method-copy.7z") + L"\"", 0, true},
      {"a sound installer verified", L"--verify \"" + sound + L"\"", 0, false},
      // Joined by hand and signed: no payload digest.
      {"an installer without a payload digest", L"--verify \"" + Payload(L"signed.exe") + L"\"", 1, false},
      {"an archive is no installer", L"--verify \"" + Payload(L"method-copy.7z") + L"\"", 1, false},
      {"explain without a document", L"--explain", 2, false},
      {"explain and pack at once", L"--explain --config c.xml --output \"" + installer + L"\"", 2, false},
      {"an unknown level", L"--output \"" + installer + L"\" --folder \"" + Payload(L"tree") + L"\" --level ultra", 2,
       false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    DeleteFileW(installer.c_str());
    const auto result = testing_tools::RunProgram(L"\"" + g_packer + L"\" " + row.Arguments, work_, 120000);
    EXPECT_EQ(result.StartError, 0u);
    EXPECT_EQ(result.ExitCode, row.ExitCode);
    EXPECT_EQ(GetFileAttributesW(installer.c_str()) != INVALID_FILE_ATTRIBUTES, row.Written);
  }
}

// A folder with what an installer meets: nested and empty folders, Unicode
// names, read-only, hidden and system files, set times; packed by the packer
// and unpacked by the stub in a real process.
TEST_F(Packing, FolderRoundTripThroughTheInstaller) {
  const std::wstring source = Work(L"source");
  struct File {
    const wchar_t* Path;
    std::string Content;
    DWORD Attributes;
  };
  // A real x86 program, so that the writer picks its executable filter.
  const std::string program = ReadWholeFile(g_stub);
  const File files[] = {
      {L"readme.txt", "read me\r\n", FILE_ATTRIBUTE_ARCHIVE},
      {L"bin\\app.exe", program, FILE_ATTRIBUTE_ARCHIVE},
      {L"bin\\\u00e4\u00f6\u00fc \u4e2d\u6587.dll", std::string(4000, 'u'), FILE_ATTRIBUTE_ARCHIVE},
      {L"conf\\locked.cfg", "read only", FILE_ATTRIBUTE_READONLY},
      {L"conf\\hidden.dat", "hidden", FILE_ATTRIBUTE_HIDDEN},
      {L"conf\\system.dat", "system", FILE_ATTRIBUTE_SYSTEM},
      {L"conf\\empty.txt", "", FILE_ATTRIBUTE_ARCHIVE},
  };
  const wchar_t* folders[] = {L"", L"bin", L"conf", L"empty", L"empty\\inner"};
  for (const wchar_t* folder : folders) ASSERT_TRUE(CreateDirectoryW((source + L"\\" + folder).c_str(), nullptr));
  FILETIME fileTime{};
  SYSTEMTIME when{.wYear = 2021, .wMonth = 3, .wDayOfWeek = 4, .wDay = 4, .wHour = 5, .wMinute = 6, .wSecond = 7, .wMilliseconds = 0};
  ASSERT_TRUE(SystemTimeToFileTime(&when, &fileTime));
  for (const File& file : files) {
    const std::wstring path = source + L"\\" + file.Path;
    WriteWholeFile(path, file.Content);
    HANDLE handle = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    SetFileTime(handle, nullptr, nullptr, &fileTime);
    CloseHandle(handle);
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), file.Attributes));
  }
  const auto original = ListFolder(source);
  ASSERT_EQ(original.size(), 11u);

  // Every level packs the same tree that unpacks the same; fast puts the
  // program through BCJ, the others through BCJ2.
  const struct {
    FolderLevel Level;
    const wchar_t* Filter;
  } levels[] = {{FolderLevel::Fast, L" BCJ;"}, {FolderLevel::Normal, L"BCJ2"}, {FolderLevel::Max, L"BCJ2"}};
  for (const auto& level : levels) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(FolderLevelName(level.Level))));
    const std::wstring installer = Work(L"setup.exe");
    PackReport report;
    std::wstring error;
    ASSERT_EQ(Pack({.Output = installer, .Folder = source, .Level = level.Level}, report, error), status::Ok)
        << testing::PrintToString(error);
    EXPECT_EQ(report.ItemCount, 11u);
    std::vector<std::wstring> lines;
    ASSERT_EQ(VerifyInstaller(installer, lines, error), status::Ok) << testing::PrintToString(error);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_TRUE(Contains(lines[2], level.Filter)) << testing::PrintToString(lines[2]);

    const std::wstring target = Work(L"target");
    ASSERT_EQ(RunInstaller(installer, target), 0u);
    const auto unpacked = ListFolder(target);
    for (const auto& [path, entry] : original) {
      SCOPED_TRACE(testing::PrintToString(path));
      const auto found = unpacked.find(path);
      ASSERT_NE(found, unpacked.end());
      EXPECT_EQ(found->second.Attributes, entry.Attributes);
      EXPECT_TRUE(found->second.Content == entry.Content);
      // Folder times change whenever something is created inside them.
      if (!(entry.Attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        EXPECT_EQ(found->second.Modified, entry.Modified);
      }
    }
    EXPECT_EQ(unpacked.size(), original.size());
    testing_tools::RemoveTree(target);
  }
}

// Archives made by 7zz with every coding method, packed as they are.
TEST_F(Packing, PayloadRoundTripThroughTheInstaller) {
  const auto original = ListFolder(Payload(L"tree"));
  const wchar_t* methods[] = {L"lzma", L"lzma2", L"ppmd", L"bcj",  L"bcj2",    L"arm64",
                              L"riscv", L"delta", L"copy", L"solid", L"nonsolid"};
  for (const wchar_t* method : methods) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(method)));
    const std::wstring installer = Work(L"setup.exe");
    PackReport report;
    std::wstring error;
    ASSERT_EQ(Pack({.Output = installer, .Payload = Payload(std::wstring(L"method-") + method + L".7z")}, report, error),
              status::Ok)
        << testing::PrintToString(error);
    const std::wstring target = Work(L"target");
    ASSERT_EQ(RunInstaller(installer, target), 0u);
    EXPECT_TRUE(ListFolder(target) == original);
    testing_tools::RemoveTree(target);
  }
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    for (auto [name, target] : {std::pair{"payloads", &g_payloads}, {"stub", &g_stub}, {"packer", &g_packer},
                                 {"icon", &g_icon}}) {
      testing_tools::PathArgument(argument, name, *target);
    }
  }
  if (g_payloads.empty() || g_stub.empty() || g_packer.empty() || g_icon.empty()) {
    std::fprintf(stderr,
                 "usage: packer_tests --payloads=FOLDER --stub=STUB.exe --packer=vm-sfxpack.exe --icon=FILE.ico\n");
    return 2;
  }
  g_inputs = g_payloads + L"\\..\\packer-inputs";
  return RUN_ALL_TESTS();
}
