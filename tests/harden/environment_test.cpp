// SPDX-License-Identifier: Apache-2.0
// Real installers in surroundings nobody controls: damaged configuration
// documents, full and read-only disks, a missing or read-only temporary
// folder, a file in use, long and unusual names, a great many small files.
// Each campaign prints its figures in one "harden:" line. VM_HARDEN_SCALE=full
// runs the large version, otherwise a few cases each.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "config/cfg.h"
#include "config/stub_status.h"
#include "packer/archive/folder_archive.h"
#include "packer/installer_writer.h"
#include "support/vm_win_architecture.h"
#include "tests/harden/documented_statuses.h"
#include "tests/tools/folder_listing.h"
#include "tests/tools/folder_tree.h"
#include "tests/tools/harden_scale.h"
#include "tests/tools/process_runner.h"
#include "tests/tools/temp_folder.h"
#include "tests/tools/unix_side.h"

namespace {

using velmora::VMStatus;
namespace status = velmora::status;

std::wstring g_stub;
const bool g_full = testing_tools::HardenAtFullScale();
int Scale(int quick, int full) { return g_full ? full : quick; }

// An exception code or a fail-fast. (The C runtime's abort exits with 3,
// which is also a Windows error code the stub passes on; an abort in the
// stub is told by its crash dump.)
bool IsCrash(DWORD code) { return (code & 0xF0000000u) == 0xC0000000u || code == 0x40000015u; }

// What the campaign saw, printed as one line.
struct Figures {
  explicit Figures(const char* campaign) : Campaign(campaign) {}
  const char* Campaign;
  int Cases = 0, Crashes = 0, Hangs = 0, Outside = 0, Leftovers = 0, Boxes = 0, Undocumented = 0, Wrong = 0;
  std::map<DWORD, int> Statuses;

  void Print() const {
    std::printf("harden: %s: cases %d, crashes %d, hangs %d, outside %d, leftovers %d, boxes %d, undocumented %d, "
                "wrong %d, statuses {", Campaign, Cases, Crashes, Hangs, Outside, Leftovers, Boxes, Undocumented,
                Wrong);
    const char* separator = "";
    for (const auto& [code, count] : Statuses) {
      std::printf("%s0x%08lX: %d", separator, code, count);
      separator = ", ";
    }
    std::printf("}\n");
    std::fflush(stdout);
  }
  [[nodiscard]] int Bad() const { return Crashes + Hangs + Outside + Leftovers + Boxes + Undocumented + Wrong; }
  void Expect() const { EXPECT_EQ(Bad(), 0) << Campaign; }
};

// One environment variable changed for as long as the object lives.
class ScopedVariable {
 public:
  ScopedVariable(const wchar_t* name, const std::optional<std::wstring>& value) : name_(name) {
    wchar_t old[32768];
    const DWORD size = GetEnvironmentVariableW(name, old, 32768);
    if (size > 0 && size < 32768) old_ = old;
    SetEnvironmentVariableW(name, value ? value->c_str() : nullptr);
  }
  ~ScopedVariable() { SetEnvironmentVariableW(name_, old_ ? old_->c_str() : nullptr); }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const wchar_t* name_;
  std::optional<std::wstring> old_;
};

std::wstring MakeInstaller(const std::wstring& folder, const std::optional<std::string>& document,
                           const std::wstring& payload) {
  const std::wstring installer = folder + L"\\setup.exe";
  InstallerLayout layout;
  std::wstring error;
  const VMStatus made = WriteInstaller({.Stub = g_stub, .Document = document, .Payload = payload, .Output = installer}, layout, error);
  EXPECT_EQ(made, 0u) << std::string(error.begin(), error.end());
  return made == 0 ? installer : std::wstring();
}

// Runs `script` in the Unix shell (paths in it without blanks or quotes);
// true when it exits with 0.
bool RunShell(const std::wstring& script) {
  return testing_tools::RunUnix(testing_tools::HostPathToWindows("/bin/sh"), {L"-c", script});
}

// A folder of files named `names` (each holding its own name) packed into
// `archive` by 7zz on the Unix side, which takes paths of any length.
void MakePayload(const std::wstring& work, const std::vector<std::wstring>& names, const std::wstring& archive) {
  const std::wstring tree = work + L"\\tree";
  CreateDirectoryW(tree.c_str(), nullptr);
  for (const std::wstring& name : names) {
    for (std::size_t slash = name.find(L'\\'); slash != std::wstring::npos; slash = name.find(L'\\', slash + 1)) {
      CreateDirectoryW((L"\\\\?\\" + tree + L"\\" + name.substr(0, slash)).c_str(), nullptr);
    }
    testing_tools::WriteWholeFile(L"\\\\?\\" + tree + L"\\" + name, std::string(name.begin(), name.end()));
  }
  ASSERT_TRUE(RunShell(L"cd " + testing_tools::UnixPath(tree) + L" && 7zz a -bd -bso0 " +
                       testing_tools::UnixPath(archive) + L" ."));
  testing_tools::RemoveTree(tree);
}

// Runs an installer quietly from its folder with TEMP and TMP at `temp`
// (unset when empty) and books the outcome. A run ends within 30 s or counts
// as a hang; a crash is told by its exit code or a dump in `temp`.
testing_tools::ProgramResult RunInstaller(Figures& figures, const std::wstring& installer,
                                          const std::wstring& arguments, const std::optional<std::wstring>& temp,
                                          DWORD timeoutMs = 30000, DWORD commandExit = 0) {
  const std::wstring folder = installer.substr(0, installer.find_last_of(L'\\'));
  testing_tools::ProgramResult result;
  {
    const ScopedVariable tempVariable(L"TEMP", temp), tmpVariable(L"TMP", temp);
    result = testing_tools::RunProgram(L"\"" + installer + L"\" --gui off " + arguments, folder, timeoutMs);
  }
  ++figures.Cases;
  ++figures.Statuses[result.ExitCode];
  if (result.TimedOut) ++figures.Hangs;
  if (IsCrash(result.ExitCode)) ++figures.Crashes;
  if (!result.TimedOut && !IsCrash(result.ExitCode) && !IsDocumentedStatus(result.ExitCode) &&
      result.ExitCode != commandExit) {
    ++figures.Undocumented;
    ADD_FAILURE() << "undocumented exit code 0x" << std::hex << result.ExitCode;
  }
  figures.Boxes += static_cast<int>(result.MessageBoxes.size());
  if (temp) {
    for (const auto& [name, entry] : testing_tools::ListFolder(*temp)) {
      if (name.ends_with(L".dmp")) ++figures.Crashes;
    }
  }
  return result;
}

// --- Documents --------------------------------------------------------------

const char kExtractSeed[] =
    "<?xml version='1.0' encoding='UTF-8'?>\n<SelfExtractor FormatVersionMajor='3' FormatVersionMinor='1'>"
    "<Title>Tools &amp; more</Title><Extract><ProgressDialog><Enabled>false</Enabled></ProgressDialog>"
    "<FolderSelectionDialog><Enabled>TRUE</Enabled></FolderSelectionDialog><TargetPath>%TEMP%\\tools</TargetPath>"
    "</Extract></SelfExtractor>";
const char kLaunchSeed[] =
    "<SelfExtractor FormatVersionMajor='3' FormatVersionMinor='0'><Title><![CDATA[Setup <1>]]></Title><Launch>"
    "<LanguageSelectionDialog><Enabled>true</Enabled></LanguageSelectionDialog><Options><Option Id='all'>"
    "<ProcessorArchitectureSet><ProcessorArchitecture>x86</ProcessorArchitecture><ProcessorArchitecture>x64"
    "</ProcessorArchitecture></ProcessorArchitectureSet><Commands><Command Id='Run'><CreateProcess>"
    "<Executable>%SystemRoot%\\system32\\cmd.exe</Executable><Arguments>/c exit 0</Arguments></CreateProcess>"
    "</Command><DefaultCommand>run</DefaultCommand></Commands></Option></Options></Launch></SelfExtractor>";

// The text between <`element`> and its end tag becomes `content`.
void ReplaceText(std::string& text, const std::string& element, const std::string& content) {
  const std::size_t open = text.find("<" + element + ">");
  const std::size_t close = text.find("</" + element + ">");
  if (open == std::string::npos || close == std::string::npos) return;
  const std::size_t start = open + element.size() + 2;
  text.replace(start, close - start, content);
}

// Document `number` of the campaign, the same on every run: a seed with one
// kind of damage, chosen by the number.
std::string DamagedDocument(unsigned number) {
  std::mt19937 random(0x5EED0000u + number);
  const bool launch = number % 2 == 1;
  std::string text = launch ? kLaunchSeed : kExtractSeed;
  const std::string textElement = (random() % 2) ? "Title" : (launch ? "Executable" : "TargetPath");
  const auto pick = [&](auto const& list) { return list[random() % std::size(list)]; };
  switch ((number / 2) % 7) {
    case 0: {  // deep nesting, around the XML reader's limit and far beyond it
      const std::size_t depth = pick(std::vector<std::size_t>{97, 98, 99, 100, 101, 1000, 60000});
      std::string nest;
      for (std::size_t i = 0; i < depth; ++i) nest += "<a>";
      if (random() % 3 != 0) {
        for (std::size_t i = 0; i < depth; ++i) nest += "</a>";
      }
      const std::size_t at = text.find(launch ? "<Options>" : "<TargetPath>");
      text.insert(random() % 2 ? at : text.find('>', text.find("<SelfExtractor")) + 1, nest);
      break;
    }
    case 1: {  // huge texts: in an element, an attribute, a comment
      const std::size_t size = pick(std::vector<std::size_t>{70000, 1u << 20, 3u << 20});
      const std::string unit = pick(std::vector<std::string>{"x", "\xC3\xA4", "\xF0\x9F\x98\x80", "&amp;"});
      std::string huge;
      while (huge.size() < size) huge += unit;
      switch (random() % 3) {
        case 0: ReplaceText(text, textElement, huge); break;
        case 1: text.insert(text.find("Major=") - 1, " Huge='" + huge + "'"); break;
        default: text.insert(text.find("<Title>"), "<!--" + huge + "-->"); break;
      }
      break;
    }
    case 2: {  // byte sequences that are not UTF-8
      const std::string bad = pick(std::vector<std::string>{"\x80", "\xC3", "\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                                                            "\xFF\xFE", "\xE4", "\xF0\x9F\x98"});
      const std::size_t at = text.find('>', text.find("<" + textElement + ">")) + 1 + random() % 3;
      text.insert(random() % 4 == 0 ? text.find("='") + 2 : at, bad);
      break;
    }
    case 3:  // entities and character references
      ReplaceText(text, textElement,
                  pick(std::vector<std::string>{"&#0;", "&#xD800;", "&#x110000;", "&#xFFFFFFFF;", "&#99999999999;",
                                                "&unknown;", "&amp", "&#;", "&#x;", "&lt;&gt;&quot;&apos;",
                                                "&#x1F600;", "&#65;&#x42;", "&&", "]]>"}));
      if (random() % 3 == 0) {
        text.insert(0, "<!DOCTYPE SelfExtractor [<!ENTITY a 'aaaaaaaaaa'><!ENTITY b '&a;&a;&a;&a;&a;&a;&a;'>]>");
        ReplaceText(text, textElement, "&b;&b;&b;&b;&b;&b;");
      }
      break;
    case 4:  // NUL characters: the text ends at the first
      text.insert(random() % text.size(), 1 + random() % 3, '\0');
      break;
    case 5:  // cut off
      text.resize(1 + random() % (text.size() - 1));
      break;
    default:  // bytes changed at about 1 % density
      for (std::size_t i = 0, changes = 1 + text.size() / 100; i < changes; ++i) {
        text[random() % text.size()] = static_cast<char>(1 + random() % 255);
      }
      break;
  }
  return text;
}

// Every damaged document through a real installer: the run ends with the
// status the loader gives the same text, or, for a document it takes, as a
// run of that document does; nothing is written outside the installer's
// folder, nothing stays in the temporary folder, no box waits.
TEST(HardenDocuments, ThroughRealInstallers) {
  const testing_tools::TempFolder work(L"vmstub-harden-documents-");
  const std::wstring payload = work / L"payload.7z";
  ASSERT_NO_FATAL_FAILURE(MakePayload(work.Path(), {L"a.txt", L"sub\\b.txt"}, payload));
  Figures figures{"documents-installers"};
  const int cases = Scale(14, 560);
  for (int number = 0; number < cases; ++number) {
    const std::string text = DamagedDocument(number);
    const std::wstring folder = work / std::to_wstring(number), temp = folder + L"\\temp";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) && CreateDirectoryW(temp.c_str(), nullptr));
    const std::wstring installer = MakeInstaller(folder, text, payload);
    ASSERT_FALSE(installer.empty()) << "case " << number;
    VMStatus loader = 0;
    {
      const ScopedVariable tempVariable(L"TEMP", temp), tmpVariable(L"TMP", temp);
      Cfg cfg;
      loader = ParseConfiguration(text.c_str(), cfg, velmora::VMWinGetNativeArchitecture());
    }
    // A launch installer unpacks into the temporary folder.
    const bool launch = number % 2 == 1;
    const auto result = RunInstaller(figures, installer, launch ? L"" : L"--target out", temp);
    if (loader != 0 ? result.ExitCode != loader : (!launch && result.ExitCode != 0)) {
      ++figures.Wrong;
      ADD_FAILURE() << "case " << number << ": exit 0x" << std::hex << result.ExitCode << ", loader 0x" << loader;
    }
    for (const auto& [name, entry] : testing_tools::ListFolder(folder)) {
      const bool inside = name == L"setup.exe" || name == L"out" || name.starts_with(L"out\\") || name == L"temp";
      if (name.starts_with(L"temp\\")) ++figures.Leftovers;
      else if (!inside) ++figures.Outside;
    }
    testing_tools::RemoveTree(folder);
  }
  figures.Print();
  figures.Expect();
}

// --- Faults -----------------------------------------------------------------

Figures g_faults{"faults"};

// A fresh case folder with an installer of `document` and a payload of
// `names`, and the run's verdict in the fault figures.
class Faults : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(work_.Path().empty()); }
  // Crashes, hangs, boxes and undocumented statuses fail the case too.
  void TearDown() override { EXPECT_EQ(g_faults.Bad(), bad_); }
  void Make(const std::vector<std::wstring>& names, const std::optional<std::string>& document = {}) {
    ASSERT_NO_FATAL_FAILURE(MakePayload(work_.Path(), names, work_ / L"payload.7z"));
    installer_ = MakeInstaller(work_.Path(), document, work_ / L"payload.7z");
    ASSERT_FALSE(installer_.empty());
  }
  // A run that must fail with a documented status other than 0.
  testing_tools::ProgramResult ExpectFailure(const std::wstring& arguments, const std::optional<std::wstring>& temp) {
    const auto result = RunInstaller(g_faults, installer_, arguments, temp);
    if (result.ExitCode == 0) ++g_faults.Wrong;
    EXPECT_NE(result.ExitCode, 0u) << arguments;
    return result;
  }
  void ExpectExit(const std::wstring& arguments, const std::optional<std::wstring>& temp, DWORD exitCode) {
    const auto result = RunInstaller(g_faults, installer_, arguments, temp);
    if (result.ExitCode != exitCode) ++g_faults.Wrong;
    EXPECT_EQ(result.ExitCode, exitCode) << std::hex << result.ExitCode;
  }
  // Everything below `folder` that is not in `allowed` counts as outside.
  static void ExpectOnly(const std::wstring& folder, const std::set<std::wstring>& allowed) {
    for (const auto& [name, entry] : testing_tools::ListFolder(folder)) {
      if (!allowed.contains(name)) {
        ++g_faults.Outside;
        ADD_FAILURE() << "left behind: " << std::string(name.begin(), name.end());
      }
    }
  }

  testing_tools::TempFolder work_{L"vmstub-harden-faults-"};
  std::wstring installer_;
  int bad_ = g_faults.Bad();
};

// A launch installer whose command exits with 7.
const char kLaunch7[] =
    "<SelfExtractor FormatVersionMajor='3' FormatVersionMinor='1'><Launch><Options><Option Id='o'>"
    "<ProcessorArchitectureSet><ProcessorArchitecture>x86</ProcessorArchitecture><ProcessorArchitecture>x64"
    "</ProcessorArchitecture></ProcessorArchitectureSet><Commands><Command Id='c'><CreateProcess><Executable>"
    "%SystemRoot%\\system32\\cmd.exe</Executable><Arguments>/c exit 7</Arguments></CreateProcess></Command>"
    "</Commands></Option></Options></Launch></SelfExtractor>";

// A disk that fills up and one mounted read-only: the run fails, and no file
// is left truncated under its own name.
TEST_F(Faults, FullAndReadOnlyDisks) {
  std::string noise(1u << 20, '\0');
  std::mt19937 random(7);
  for (char& c : noise) c = static_cast<char>(random());
  const std::wstring tree = work_ / L"tree";
  ASSERT_TRUE(CreateDirectoryW(tree.c_str(), nullptr));
  testing_tools::WriteWholeFile(tree + L"\\small.txt", "small");
  testing_tools::WriteWholeFile(tree + L"\\large.bin", noise);
  std::wstring error;
  ASSERT_EQ(CompressFolder(tree, FolderLevel::Normal, work_ / L"payload.7z", error), 0u);
  testing_tools::RemoveTree(tree);
  installer_ = MakeInstaller(work_.Path(), {}, work_ / L"payload.7z");
  ASSERT_FALSE(installer_.empty());

  struct Row {
    const wchar_t* Options;
    const wchar_t* Target;  // below the mount
  };
  for (const Row& row : {Row{L"size=256k", L"\\target"}, Row{L"ro,size=64k", L"\\target"}, Row{L"ro,size=64k", L""}}) {
    const std::wstring disk = work_ / L"disk";
    ASSERT_TRUE(CreateDirectoryW(disk.c_str(), nullptr));
    {
      const testing_tools::TmpfsMount mount(disk, row.Options);
      if (mount.UnixFolder().empty()) GTEST_SKIP() << "needs Wine and the right to mount a tmpfs";
      ExpectFailure(L"--target \"" + disk + row.Target + L"\"", work_.Path());
      const auto left = testing_tools::ListFolder(disk);
      const auto large = left.find(std::wstring(*row.Target ? L"target\\" : L"") + L"large.bin");
      if (large != left.end() && large->second.Content != noise) {
        ++g_faults.Leftovers;
        ADD_FAILURE() << "a truncated large.bin stayed under its name";
      }
    }
    testing_tools::RemoveTree(disk);
  }
}

// The names in `folder`, without what lies below them.
std::wstring Names(const std::wstring& folder) {
  std::wstring names;
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
  for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &found)) {
    names += found.cFileName + std::wstring(L"|");
  }
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
  return names;
}

// A launch installer whose temporary folder is unset, missing, a file, too
// long or read-only: the command runs where the folder can be made, the run
// fails clearly where not, and nothing of the run stays anywhere.
TEST_F(Faults, TemporaryFolderOfALaunch) {
  ASSERT_NO_FATAL_FAILURE(Make({L"a.txt"}, kLaunch7));
  wchar_t profile[MAX_PATH] = {}, windows[MAX_PATH] = {};
  ASSERT_GT(GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH), 0u);
  ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 0u);
  const std::wstring file = work_ / L"file.txt", ro = work_ / L"ro";
  testing_tools::WriteWholeFile(file, "x");
  ASSERT_TRUE(CreateDirectoryW(ro.c_str(), nullptr));
  const testing_tools::TmpfsMount mount(ro, L"ro,size=64k");
  std::wstring longTemp = work_.Path();
  while (longTemp.size() < 300) longTemp += L"\\long-folder";
  struct Row {
    const char* Name;
    std::optional<std::wstring> Temp;
    bool Runs;
  };
  const Row rows[] = {
      {"unset", std::nullopt, true},
      {"missing", work_ / L"missing", true},
      {"a file", file, false},
      {"read-only", ro, false},
      {"longer than 260 characters", longTemp, false},
  };
  const std::set<std::wstring> kept = {L"setup.exe", L"payload.7z", L"file.txt", L"ro"};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    if (row.Temp == ro && mount.UnixFolder().empty()) continue;
    // Without TEMP and TMP, Windows takes the profile or its own folder.
    const auto before = Names(profile) + Names(windows);
    const auto result = RunInstaller(g_faults, installer_, L"", row.Temp, 30000, 7);
    if (row.Runs ? result.ExitCode != 7 : (result.ExitCode == 0 || result.ExitCode == 7)) ++g_faults.Wrong;
    EXPECT_EQ(result.ExitCode == 7, row.Runs) << std::hex << result.ExitCode;
    if (Names(profile) + Names(windows) != before) {
      ++g_faults.Leftovers;
      ADD_FAILURE() << "the run left something in the profile or the Windows folder";
    }
    std::set<std::wstring> allowed = kept;
    if (row.Temp == work_ / L"missing") allowed.insert(L"missing");
    ExpectOnly(work_.Path(), allowed);
  }
}

// A file at an item's place that another program holds open without
// sharing: the run fails and the file keeps its content.
TEST_F(Faults, FileInUseAtAnItemsPlace) {
  ASSERT_NO_FATAL_FAILURE(Make({L"a.txt", L"b.txt"}));
  const std::wstring target = work_ / L"target";
  ASSERT_TRUE(CreateDirectoryW(target.c_str(), nullptr));
  testing_tools::WriteWholeFile(target + L"\\b.txt", "in use");
  HANDLE held = CreateFileW((target + L"\\b.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ExpectFailure(L"--target \"" + target + L"\"", work_.Path());
  CloseHandle(held);
  EXPECT_EQ(testing_tools::ReadWholeFile(target + L"\\b.txt"), "in use");
}

// Names beyond MAX_PATH, beyond the Basic Multilingual Plane and with
// combining marks (composed and decomposed forms are different names): every
// item arrives under its own name with its own content.
TEST_F(Faults, LongAndUnusualNames) {
  std::wstring deep;
  while (deep.size() < 280) deep += L"folder-of-a-long-path\\";
  const std::vector<std::wstring> names = {
      L"\U0001F600.txt", L"e\u0301.txt", L"\u00E9.txt", L"A\u030A\u0301", L"\U00010348\\\U0001D11E.txt",
      L"\u1100\u1161\u11A8.txt", deep + L"leaf.txt"};
  ASSERT_NO_FATAL_FAILURE(Make(names));
  std::wstring target = work_ / L"target";
  while (target.size() < 270) target += L"\\a-long-target-folder";
  // Twice: the second run replaces every item.
  ExpectExit(L"--target \"" + target + L"\"", work_.Path(), 0);
  ExpectExit(L"--target \"" + target + L"\"", work_.Path(), 0);
  const auto listing = testing_tools::ListFolder(L"\\\\?\\" + target);
  for (const std::wstring& name : names) {
    const auto found = listing.find(name);
    EXPECT_TRUE(found != listing.end() && found->second.Content == std::string(name.begin(), name.end()))
        << "item " << (&name - names.data());
  }
  // A link at the deep item's place leads nothing outside.
  const std::wstring outside = work_ / L"outside.txt", leaf = L"\\\\?\\" + target + L"\\" + deep + L"leaf.txt";
  testing_tools::WriteWholeFile(outside, "outside");
  ASSERT_TRUE(DeleteFileW(leaf.c_str()));
  if (!testing_tools::MakeSymbolicLink(outside, leaf)) GTEST_SKIP() << "links are made on the Unix side under Wine";
  (void)RunInstaller(g_faults, installer_, L"--target \"" + target + L"\"", work_.Path());
  EXPECT_EQ(testing_tools::ReadWholeFile(outside), "outside");
}

// A great many tiny files: every one arrives, and the stub's memory stays
// bounded (the item list, not the data).
TEST_F(Faults, ManyTinyFiles) {
  const int count = Scale(1000, 100000);
  // Made, packed, counted and removed on the Unix side: under Wine every
  // file would cost milliseconds.
  const std::wstring tree = testing_tools::UnixPath(work_ / L"tree"), target = work_ / L"target";
  const std::wstring unixTarget = testing_tools::UnixPath(target), counted = work_ / L"count.txt";
  const ULONGLONG madeStart = GetTickCount64();
  ASSERT_TRUE(RunShell(L"mkdir " + tree + L" && cd " + tree + L" && i=0 && while [ $i -lt " + std::to_wstring(count) +
                       L" ]; do d=d$((i / 1000)); [ -d $d ] || mkdir $d; echo $i > $d/f$i; i=$((i + 1)); done && "
                       L"7zz a -bd -bso0 ../payload.7z . && cd .. && rm -rf " + tree));
  installer_ = MakeInstaller(work_.Path(), {}, work_ / L"payload.7z");
  ASSERT_FALSE(installer_.empty());
  const ULONGLONG start = GetTickCount64();
  const auto result = RunInstaller(g_faults, installer_, L"--target " + target, work_.Path(), 3600000);
  const ULONGLONG elapsed = GetTickCount64() - start;
  if (result.ExitCode != 0) ++g_faults.Wrong;
  EXPECT_EQ(result.ExitCode, 0u);
  ASSERT_TRUE(RunShell(L"find " + unixTarget + L" -type f | wc -l > " + testing_tools::UnixPath(counted) +
                       L" && rm -rf " + unixTarget));
  const int files = std::atoi(testing_tools::ReadWholeFile(counted).c_str());
  EXPECT_EQ(files, count);
  constexpr std::size_t kBound = 128u << 20;
  EXPECT_LT(result.PeakPrivateBytes, kBound);
  std::printf("harden: many-files: files %d, unpacked %d, seconds %.1f (making them %.1f), peak private bytes %zu "
              "(bound %zu)\n", count, files, elapsed / 1000.0, (start - madeStart) / 1000.0, result.PeakPrivateBytes,
              kBound);
}

class PrintFaults : public ::testing::Environment {
  void TearDown() override {
    if (g_faults.Cases > 0) g_faults.Print();
  }
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    testing_tools::PathArgument(argument, "stub", g_stub);
  }
  if (g_stub.empty()) {
    std::fprintf(stderr, "usage: harden_environment_tests --stub=PATH\n");
    return 2;
  }
  ::testing::AddGlobalTestEnvironment(new PrintFaults);
  return RUN_ALL_TESTS();
}
