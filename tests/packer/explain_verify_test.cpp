// SPDX-License-Identifier: Apache-2.0
// What the packer tells about a document (--explain) and an installer
// (--verify), its progress line, and the version the stub carries.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "packer/explain.h"
#include "packer/pack.h"
#include "packer/progress.h"
#include "packer/verify.h"
#include "tests/packer/packer_inputs.h"
#include "tests/tools/folder_listing.h"
#include "tests/tools/temp_folder.h"

namespace {

using testing_tools::ReadWholeFile;
using testing_tools::WriteWholeFile;
namespace status = velmora::status;

bool Contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

std::string Option(const char* id, const char* machine, const char* tag, const char* commands) {
  std::string tags = *tag ? std::string("<LanguageTagSet><LanguageTag>") + tag + "</LanguageTag></LanguageTagSet>" : "";
  return std::string("<Option Id=\"") + id + "\"><ProcessorArchitectureSet><ProcessorArchitecture>" + machine +
         "</ProcessorArchitecture></ProcessorArchitectureSet>" + tags + "<Commands>" + commands + "</Commands></Option>";
}

std::string Launch(const std::string& options, bool dialog = false) {
  return std::string(R"(<SelfExtractor FormatVersionMajor="3" FormatVersionMinor="0"><Launch>)") +
         (dialog ? "<LanguageSelectionDialog><Enabled>true</Enabled></LanguageSelectionDialog>" : "") +
         "<Options>" + options + "</Options></Launch></SelfExtractor>";
}

constexpr const char* kInstall = R"(<Command Id="Install"><CreateProcess><Executable>msiexec.exe</Executable></CreateProcess></Command>)";
constexpr const char* kElevated =
    R"(<Command Id="setup"><ShellExecute Wait="true" AsAdmin="true"><Executable>setup.exe</Executable>)"
    R"(<WaitForProcessTree>true</WaitForProcessTree></ShellExecute></Command>)";
constexpr const char* kTwoWithoutDefault =
    R"(<Command Id="a"><CreateProcess><Executable>a.exe</Executable></CreateProcess></Command>
       <Command Id="b"><CreateProcess><Executable>b.exe</Executable></CreateProcess></Command>)";

TEST(Explain, RowsFollowTheStubsChoice) {
  const std::string tagged = Launch(Option("x86-en", "x86", "en-US", kInstall) + Option("x86-de", "x86", "de-DE", kElevated) +
                                    Option("x64-en", "x64", "en-US", kInstall) +
                                    Option("x64-de", "x64", "de-DE", kTwoWithoutDefault));
  const std::string germanOnly = Launch(Option("de", "x86", "de-DE", kInstall), true);
  const std::string clash = Launch(Option("one", "x64", "en-US", kInstall) + Option("two", "x64", "en-US", kInstall) +
                                   Option("x86", "x86", "", kInstall));
  struct Row {
    const char* Name;
    const std::string& Document;
    const wchar_t* Machine;
    const wchar_t* Display;
    std::wstring Language, Option, Command, ResultPart;
  };
  const Row rows[] = {
      {"the region falls back to the language", tagged, L"x86", L"de-AT", L"de-DE", L"x86-de", L"setup",
       L"ShellExecute, waits for the whole process tree, as administrator"},
      {"an unoffered language takes English", tagged, L"x86", L"fr-FR", L"en-US", L"x86-en", L"install",
       L"CreateProcess"},
      {"several Commands and no default", tagged, L"x64", L"de-DE", L"de-DE", L"x64-de", L"", L"0xEE000010"},
      {"no Option for the machine", tagged, L"ARM64", L"en-US", L"", L"", L"", L"0xEE002004 (PlatformNotSupported)"},
      {"no language suits the user", germanOnly, L"x86", L"fr-FR", L"", L"", L"", L"0xEE000052 (NoUniqueMatch)"},
      {"a language-neutral Option", clash, L"x86", L"ja-JP", L"", L"x86", L"install", L"CreateProcess"},
      {"a clash on one machine only, in one row", clash, L"x64", L"any", L"", L"", L"", L"0xEE00003D"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    Explanation explanation;
    ExplainConfiguration(row.Document, {L"de-AT", L"de-DE", L"fr-FR", L"en-US", L"ja-JP"}, explanation);
    // A machine the document fails to load on gets one row, not one per
    // language.
    ASSERT_EQ(explanation.Rows.size(), &row.Document == &clash ? 11u : 15u);
    const ExplainRow* found = nullptr;
    for (const ExplainRow& candidate : explanation.Rows) {
      if (candidate.Machine == row.Machine && candidate.Display == row.Display) found = &candidate;
    }
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->Language, row.Language);
    EXPECT_EQ(found->Option, row.Option);
    EXPECT_EQ(found->Command, row.Command);
    EXPECT_TRUE(Contains(found->Result, row.ResultPart)) << testing::PrintToString(found->Result);
    EXPECT_EQ(explanation.LoadFails, &row.Document == &clash);
  }
}

TEST(Explain, DefaultLanguagesAndTheTable) {
  Explanation explanation;
  ExplainConfiguration(Launch(Option("es", "x64", "es-ES", kInstall), true), {}, explanation);
  // The default set and the document's own tag, for each of three machines.
  ASSERT_EQ(explanation.Rows.size(), 3u * (std::size(kDefaultExplainLanguages) + 1));
  EXPECT_EQ(explanation.Rows[6].Display, L"es-ES");
  EXPECT_TRUE(Contains(explanation.Notes.back(), L"language dialog opens first"));
  const std::vector<std::wstring> lines = FormatExplanation(explanation);
  ASSERT_EQ(lines.size(), explanation.Notes.size() + 2 + explanation.Rows.size());
  const std::size_t column = lines[explanation.Notes.size() + 1].find(L"Option");
  for (std::size_t i = explanation.Notes.size() + 2; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].substr(column - 2, 3).find_first_not_of(L' '), 2u) << testing::PrintToString(lines[i]);
  }
  EXPECT_EQ(SplitLanguageList(L"de-DE,,fr-FR,"), (std::vector<std::wstring>{L"de-DE", L"fr-FR"}));

  ExplainConfiguration(R"(<SelfExtractor FormatVersionMajor="3" FormatVersionMinor="0"><Extract>
      <TargetPath>${PROGRAM_FILES}\Vendor</TargetPath></Extract></SelfExtractor>)",
                       {}, explanation);
  EXPECT_TRUE(explanation.Rows.empty()) << "an extract document chooses nothing";
  ASSERT_GE(explanation.Notes.size(), 3u);
  EXPECT_TRUE(Contains(explanation.Notes[1], L"${PROGRAM_FILES}\\Vendor (resolved on the machine"));
}

// A good installer, the same signed, and ways an installer goes wrong.
TEST(Verify, SoundAndUnsoundInstallers) {
  const testing_tools::TempFolder work;
  const std::wstring good = work / L"good.exe";
  PackReport report;
  std::wstring error;
  WriteWholeFile(work / L"doc.xml", Launch(Option("x64", "x64", "", kInstall)));
  ASSERT_EQ(Pack({.Output = good, .Config = work / L"doc.xml", .Stub = g_stub,
                  .Payload = g_payloads + L"\\method-lzma2.7z"},
                 report, error),
            status::Ok)
      << testing::PrintToString(error);
  const std::string bytes = ReadWholeFile(good);
  std::string flipped = bytes;
  flipped[report.StubSize + 40] ^= 0x55;
  const std::string other = bytes.substr(0, report.StubSize) + ReadWholeFile(g_payloads + L"\\method-copy.7z");
  const std::string declares =
      bytes.substr(0, report.StubSize) + ReadWholeFile(g_payloads + L"\\crafted-declares-much.7z");
  // A field of the optional header set to `value`.
  const std::size_t optional = static_cast<unsigned char>(bytes[0x3C]) + (static_cast<unsigned char>(bytes[0x3D]) << 8) + 24;
  auto withField = [&](std::size_t at, std::uint32_t value) {
    std::string copy = bytes;
    for (int i = 0; i < 4; ++i) copy[optional + at + i] = static_cast<char>(value >> (8 * i));
    return copy;
  };

  // A stub whose document sits under another language than the stub asks for.
  const std::wstring german = work / L"german-stub.exe";
  ASSERT_TRUE(CopyFileW(g_stub.c_str(), german.c_str(), FALSE));
  const std::string document = Launch(Option("x64", "x64", "", kInstall));
  HANDLE update = BeginUpdateResourceW(german.c_str(), FALSE);
  ASSERT_NE(update, nullptr);
  ASSERT_TRUE(UpdateResourceW(update, RT_RCDATA, MAKEINTRESOURCEW(222), 1031, const_cast<char*>(document.data()),
                              static_cast<DWORD>(document.size())));
  ASSERT_TRUE(EndUpdateResourceW(update, FALSE));
  const std::wstring germanInstaller = work / L"german.exe";
  ASSERT_EQ(Pack({.Output = germanInstaller, .Stub = german, .Payload = g_payloads + L"\\method-copy.7z"}, report, error),
            status::Ok);

  const std::wstring blocks = work / L"blocks.exe";
  ASSERT_EQ(Pack({.Output = blocks, .Stub = g_stub, .Payload = g_payloads + L"\\method-lzma2-blocks.7z"}, report, error),
            status::Ok);

  const std::wstring bcj2 = work / L"bcj2.exe";
  ASSERT_EQ(Pack({.Output = bcj2, .Stub = g_stub, .Payload = g_payloads + L"\\method-bcj2.7z"}, report, error),
            status::Ok);

  struct Row {
    const char* Name;
    std::wstring Path;
    std::string Bytes;  // written to Path when not empty
    bool Sound;
    std::wstring Part;  // in the lines when sound, in the error otherwise
  };
  const Row rows[] = {
      {"packed here", good, "", true, L"signature: none."},
      {"one LZMA2 block", good, "", true, L"decoding: on one thread"},
      {"LZMA2 blocks of 1 MiB", blocks, "", true, L"decoding: in parallel, on up to 4 threads (4 LZMA2 blocks"},
      {"the payload's digest in the image", good, "", true, L"digest: the image names the payload's SHA-256"},
      {"joined by hand, then signed: no payload digest", g_payloads + L"\\signed.exe", "", false,
       L"the image carries no payload digest (RT_RCDATA 225)"},
      {"a digest that names another payload", work / L"other.exe", other, false,
       L"does not match the payload: the stub refuses it with 0xEE002008 (PayloadDigestMismatch)"},
      {"one block behind BCJ2", bcj2, "", true,
       L"decoding: on one thread for the data, BCJ2 and its side streams on threads beside it"},
      {"a flipped byte in the payload", work / L"flipped.exe", flipped, false, L"the payload item"},
      {"cut short", work / L"short.exe", bytes.substr(0, bytes.size() - 1), false, L"is cut short: 1 byte missing"},
      {"bytes appended", work / L"long.exe", bytes + "trailer", false, L"7 bytes follow the payload"},
      {"no program", work / L"text.exe", "MZ, no more", false, L"not a 32-bit x86 Windows program"},
      {"the document under language 1031", germanInstaller, "", false, L"language 1031, not 1033"},
      {"headers that claim 4 GiB", work / L"headers.exe", withField(60, 0xFFFFFFFF), false, L"headers are damaged"},
      {"a resource directory beyond the image", work / L"resources.exe", withField(96 + 2 * 8 + 4, 0x7FFFFFFF), false,
       L"data directory lies outside the image"},
      {"no data directories", work / L"no-directories.exe", withField(92, 0), false,
       L"its optional header has no data directories."},
      {"data directories that end before the resources", work / L"two-directories.exe", withField(92, 2), false,
       L"its optional header has 2 data directories; the stub needs 3, up to its resources."},
      {"no import directory", work / L"no-imports.exe", withField(96 + 1 * 8 + 4, 0), false,
       L"it has no import directory."},
      {"a payload declaring 100 GiB", work / L"declares.exe", declares, false,
       L"the payload declares more than 68719476736 bytes unpacked from 128"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    if (!row.Bytes.empty()) WriteWholeFile(row.Path, row.Bytes);
    std::vector<std::wstring> lines;
    const bool sound = VerifyInstaller(row.Path, lines, error) == status::Ok;
    EXPECT_EQ(sound, row.Sound) << testing::PrintToString(error);
    std::wstring all = error;
    for (const std::wstring& line : lines) all += L"\n" + line;
    EXPECT_TRUE(Contains(sound ? all : error, row.Part)) << testing::PrintToString(all);
  }
}

TEST(Progress, OneLineRewrittenOnlyWhenItChanges) {
  std::vector<std::wstring> written;
  {
    ProgressLine line([&](const std::wstring& text) { written.push_back(text); });
    line.SetTotal(1000, 2);
    line.FileStarted();
    line.SetBytesDone(5);  // still 0 %
    line.SetBytesDone(500);
    line.FileStarted();
    line.SetBytesDone(1000);
  }  // finishing blanks the line
  const std::vector<std::wstring> expected = {
      L"\rcompressing   0% of 1000 bytes, file 0 of 2", L"\rcompressing   0% of 1000 bytes, file 1 of 2",
      L"\rcompressing  50% of 1000 bytes, file 1 of 2", L"\rcompressing  50% of 1000 bytes, file 2 of 2",
      L"\rcompressing 100% of 1000 bytes, file 2 of 2", L"\r" + std::wstring(43, L' ') + L"\r"};
  EXPECT_EQ(written, expected);
  // CTest reads this program's output through pipes: no progress there.
  EXPECT_FALSE(StandardErrorIsTerminal());
}

// What Windows shows in the stub's properties, read through its own API.
TEST(StubVersion, DefaultsFromTheProject) {
  DWORD ignored = 0;
  std::vector<char> data(GetFileVersionInfoSizeW(g_stub.c_str(), &ignored));
  ASSERT_FALSE(data.empty());
  ASSERT_TRUE(GetFileVersionInfoW(g_stub.c_str(), 0, static_cast<DWORD>(data.size()), data.data()));
  const std::wstring version = VM_PROJECT_VERSION;
  const std::pair<const wchar_t*, std::wstring> values[] = {
      {L"ProductName", L"vm-sfxstub"}, {L"FileVersion", version}, {L"ProductVersion", version},
      {L"CompanyName", L"The vm-sfxstub authors"}, {L"FileDescription", L"Self-extracting installer"},
      {L"LegalCopyright", L"Copyright (C) The vm-sfxstub authors"}};
  for (const auto& [key, expected] : values) {
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), (std::wstring(L"\\StringFileInfo\\040904B0\\") + key).c_str(), &value, &length))
        << testing::PrintToString(std::wstring(key));
    EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(value)), expected);
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  const std::wstring numbers = std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
                               std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
                               std::to_wstring(HIWORD(fixed->dwFileVersionLS));
  EXPECT_EQ(numbers, version);
}

}  // namespace
