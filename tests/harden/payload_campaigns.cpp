// SPDX-License-Identifier: Apache-2.0
// The payload side of the hardening campaign, through real extract and launch
// stubs: damaged archives, hostile item names and resource limits. Every
// case is made in memory from its number, so a failing one can be run alone
// again with --case=N. Each campaign prints one line of figures.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/vm_utf_convert.h"
#include "support/vm_win_lock.h"
#include "tests/harden/documented_statuses.h"
#include "tests/harden/drive_snapshot.h"
#include "tests/harden/seven_zip_damage.h"
#include "tests/tools/folder_listing.h"
#include "tests/tools/folder_tree.h"
#include "tests/tools/harden_scale.h"
#include "tests/tools/process_runner.h"
#include "tests/tools/temp_folder.h"
#include "tests/tools/unix_side.h"
#include "tests/tools/window_driver.h"

namespace {

using testing_tools::ReadWholeFile;
using testing_tools::WriteWholeFile;

std::wstring g_stub;
std::wstring g_cases;  // what make_payload_cases.py made
bool g_full = false;
// Only the cases given with --case run (N, FIRST-END with END not included,
// several separated by commas): a failing case alone, or a full campaign in
// parts. None given: all.
std::vector<std::pair<long, long>> g_chosen;
bool Chosen(long caseNumber) {
  for (const auto& [first, end] : g_chosen) {
    if (caseNumber >= first && caseNumber < end) return true;
  }
  return g_chosen.empty();
}

int Scale(int quick, int full) { return g_full ? full : quick; }

enum class Mode { Extract, Launch };
const char* Name(Mode mode) { return mode == Mode::Extract ? "extract" : "launch"; }

// The stub copy of a launch installer carries this document; an extract
// installer carries none, which makes it a plain self-extractor.
const char kLaunchDocument[] =
    "<SelfExtractor FormatVersionMajor='3' FormatVersionMinor='1'><Launch><Options><Option Id='o'>"
    "<ProcessorArchitectureSet><ProcessorArchitecture>x86</ProcessorArchitecture>"
    "<ProcessorArchitecture>x64</ProcessorArchitecture></ProcessorArchitectureSet><Commands><Command Id='run'>"
    "<CreateProcess><Executable>cmd.exe</Executable><Arguments>/c exit 0</Arguments></CreateProcess></Command>"
    "</Commands></Option></Options></Launch></SelfExtractor>";

struct Outcome {
  std::uint32_t ExitCode = 0;
  ULONGLONG Milliseconds = 0;
  bool Hang = false, Crash = false, Undocumented = false;
  std::vector<std::wstring> Outside;  // entries beside the target
  std::vector<std::wstring> Leftovers;  // entries in the stub's temporary folder
  [[nodiscard]] bool Clean() const { return !Hang && !Crash && !Undocumented && Outside.empty() && Leftovers.empty(); }
};

std::vector<std::wstring> Entries(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

// One campaign's figures.
struct Figures {
  explicit Figures(const char* campaign) : Campaign(campaign) {}
  const char* Campaign;
  int Cases = 0, Crashes = 0, Hangs = 0, Outside = 0, Leftovers = 0, Undocumented = 0;
  std::map<std::uint32_t, int> Statuses;
  ULONGLONG Milliseconds = 0;
  std::string Extra;

  void Add(const Outcome& outcome) {
    ++Cases;
    Crashes += outcome.Crash;
    Hangs += outcome.Hang;
    Undocumented += outcome.Undocumented;
    Outside += !outcome.Outside.empty();
    Leftovers += !outcome.Leftovers.empty();
    ++Statuses[outcome.ExitCode];
    Milliseconds += outcome.Milliseconds;
  }
  [[nodiscard]] std::string Line() const {
    std::string line = std::string("harden: ") + Campaign + ": cases " + std::to_string(Cases) + ", crashes " +
                       std::to_string(Crashes) + ", hangs " + std::to_string(Hangs) + ", outside " +
                       std::to_string(Outside) + ", leftovers " + std::to_string(Leftovers) + ", undocumented " +
                       std::to_string(Undocumented) + ", statuses {";
    const char* separator = "";
    for (const auto& [code, count] : Statuses) {
      char text[32];
      std::snprintf(text, sizeof(text), "%s0x%08X: %d", separator, code, count);
      line += text;
      separator = ", ";
    }
    return line + "}, " + std::to_string(Cases ? Milliseconds / Cases : 0) + " ms per case" + Extra;
  }
  void Expect() const {
    std::printf("%s\n", Line().c_str());
    std::fflush(stdout);
    EXPECT_EQ(Crashes + Hangs + Outside + Leftovers + Undocumented, 0) << Line();
  }
};

// Starts `line` with `environment` and waits for it at most `timeoutMs`;
// a process still running then is ended. The stubs run with --gui off, so a
// message box would keep one running: it counts as a hang.
struct Ended {
  std::uint32_t ExitCode = 0;
  bool TimedOut = false;
};
Ended RunWith(std::wstring line, const std::wstring& folder, const std::wstring& environment, DWORD timeoutMs) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                      const_cast<wchar_t*>(environment.c_str()), folder.c_str(), &startup, &process)) {
    return {GetLastError(), false};
  }
  CloseHandle(process.hThread);
  Ended ended;
  if (WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0) {
    ended.TimedOut = true;
    TerminateProcess(process.hProcess, 0xDEAD);
    WaitForSingleObject(process.hProcess, 10000);
  }
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  ended.ExitCode = code;
  CloseHandle(process.hProcess);
  return ended;
}

// One place where stubs run one after another: a case folder holding the
// installer and its target, and a folder of its own as the stub's %TEMP%.
class Slot {
 public:
  Slot(const std::wstring& root, int number, const std::string* images) : images_(images) {
    const std::wstring suffix = std::to_wstring(number);
    temp_ = root + L"\\temp" + suffix;
    case_ = root + L"\\case" + suffix;
    installer_ = case_ + L"\\setup.exe";
    Target = case_ + L"\\out";
    CreateDirectoryW(temp_.c_str(), nullptr);
    CreateDirectoryW(case_.c_str(), nullptr);
    // This program's environment with TEMP and TMP pointing here.
    wchar_t* inherited = GetEnvironmentStringsW();
    for (const wchar_t* entry = inherited; *entry; entry += wcslen(entry) + 1) {
      if (_wcsnicmp(entry, L"TEMP=", 5) != 0 && _wcsnicmp(entry, L"TMP=", 4) != 0) {
        environment_.append(entry).push_back(L'\0');
      }
    }
    FreeEnvironmentStringsW(inherited);
    for (const wchar_t* name : {L"TEMP=", L"TMP="}) environment_.append(name + temp_).push_back(L'\0');
  }

  [[nodiscard]] const std::wstring& Temp() const { return temp_; }
  [[nodiscard]] const std::wstring& CaseFolder() const { return case_; }
  [[nodiscard]] std::vector<std::wstring> Skipped() const { return {case_, temp_}; }

  // Runs one installer made of the stub and `archive`; an extract stub
  // unpacks into `Target`, a launch stub into a folder of its own under the
  // temporary folder. What it left there and beside the target is noted and
  // removed; the target stays until Clear().
  Outcome Run(Mode mode, const std::string& archive, DWORD timeoutMs = 30000) {
    Outcome outcome;
    // The previous process may still hold its image for a moment.
    const std::string installer = images_[mode == Mode::Launch] + archive;
    for (int attempt = 0; attempt < 500; ++attempt) {
      HANDLE file = CreateFileW(installer_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, installer.data(), static_cast<DWORD>(installer.size()), &written, nullptr);
        CloseHandle(file);
        break;
      }
      Sleep(20);
    }
    std::wstring line = L"\"" + installer_ + L"\" --gui off";
    if (mode == Mode::Extract) line += L" --target \"" + Target + L"\"";
    const ULONGLONG start = GetTickCount64();
    const Ended ended = RunWith(line, case_, environment_, timeoutMs);
    outcome.Milliseconds = GetTickCount64() - start;
    outcome.ExitCode = ended.ExitCode;
    outcome.Hang = ended.TimedOut;
    // Exceptions (0xC...), breakpoints (0x8000000x), abort() (3) and the
    // runtime's fatal exit (0x40000015) are crashes; so is a dump.
    const std::uint32_t code = ended.ExitCode;
    outcome.Crash = !outcome.Hang && ((code & 0xF0000000u) == 0xC0000000u || (code & 0xFFFFFFF0u) == 0x80000000u ||
                                      code == 3 || code == 0x40000015u);
    outcome.Undocumented = !outcome.Hang && !IsDocumentedStatus(code);
    for (const std::wstring& name : Entries(temp_)) {
      outcome.Crash = outcome.Crash || name.ends_with(L".dmp");
      outcome.Leftovers.push_back(name);
      testing_tools::RemoveTree(temp_ + L"\\" + name);
    }
    for (const std::wstring& name : Entries(case_)) {
      if (name == L"setup.exe" || (mode == Mode::Extract && name == L"out") || name == kept_) continue;
      outcome.Outside.push_back(name);
      testing_tools::RemoveTree(case_ + L"\\" + name);
    }
    return outcome;
  }
  void Clear() const { testing_tools::RemoveTree(Target); }

  // An entry of the case folder that is no stray (a mount point).
  void Keep(std::wstring name) { kept_ = std::move(name); }

  std::wstring Target;

 private:
  const std::string* images_;
  std::wstring temp_, case_, installer_, kept_, environment_;
};

// The slots of one campaign inside a root that also holds sentinel files,
// and the state of the whole drive beside them.
class Runner {
 public:
  explicit Runner(int slots = 3) : root_(L"vm-harden-payloads-") {
    // Where escaping names would land: beside the case and temporary
    // folders.
    for (const wchar_t* name : {L"x", L"first.txt", L"sentinel.txt"}) WriteWholeFile(root_ / name, "sentinel");
    images_[0] = ReadWholeFile(g_stub);
    const std::wstring launch = root_ / L"launch.exe";
    CopyFileW(g_stub.c_str(), launch.c_str(), FALSE);
    HANDLE update = BeginUpdateResourceW(launch.c_str(), FALSE);
    UpdateResourceW(update, RT_RCDATA, MAKEINTRESOURCEW(222), 1033, const_cast<char*>(kLaunchDocument),
                    sizeof(kLaunchDocument) - 1);
    EndUpdateResourceW(update, FALSE);
    images_[1] = ReadWholeFile(launch);
    DeleteFileW(launch.c_str());
    for (int i = 0; i < slots; ++i) slots_.emplace_back(root_.Path(), i, images_);
    before_ = Snapshot();
  }

  [[nodiscard]] bool Ready() const {
    return !root_.Path().empty() && images_[0].size() > 4096 && images_[1].size() > 4096;
  }
  Slot& First() { return slots_.front(); }

  // Runs `run` for every chosen case number below `count`, the slots side by
  // side (Wine starts processes slowly, mostly waiting).
  void ForEachCase(long count, const std::function<void(Slot&, long)>& run) {
    LONG next = -1;
    std::vector<std::unique_ptr<testing_tools::BackgroundThread>> threads;
    for (Slot& slot : slots_) {
      threads.push_back(std::make_unique<testing_tools::BackgroundThread>([&, slot = &slot] {
        for (long n; (n = InterlockedIncrement(&next)) < count;) {
          if (Chosen(n)) run(*slot, n);
        }
      }));
    }
    threads.clear();  // each joins as it goes
  }

  // What changed on the drive outside the slots since the runner began.
  [[nodiscard]] std::vector<std::wstring> DriveChanges() const { return SnapshotChanges(before_, Snapshot()); }

 private:
  [[nodiscard]] harden::Snapshot Snapshot() const {
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    std::vector<std::wstring> skipped;
    for (const Slot& slot : slots_) {
      for (auto& path : slot.Skipped()) skipped.push_back(path);
    }
    return harden::TakeSnapshot(std::wstring(windows, 2) + L"\\", skipped, g_full);
  }

  testing_tools::TempFolder root_;
  std::string images_[2];
  std::vector<Slot> slots_;
  harden::Snapshot before_;
};

void Report(long caseNumber, const std::string& what, Mode mode, const Outcome& outcome) {
  std::string text = "harden: case " + std::to_string(caseNumber) + " (" + what + ", " + Name(mode) + "): exit ";
  char code[16];
  std::snprintf(code, sizeof(code), "0x%08X", outcome.ExitCode);
  text += code;
  if (outcome.Hang) text += ", hang";
  if (outcome.Crash) text += ", crash";
  if (outcome.Undocumented) text += ", undocumented";
  for (const auto& name : outcome.Outside) text += ", outside " + velmora::VMUtf16ToUtf8(name);
  for (const auto& name : outcome.Leftovers) text += ", leftover " + velmora::VMUtf16ToUtf8(name);
  std::printf("%s\n", text.c_str());
}

void ExpectDriveUnchanged(const Runner& runner, Figures& figures) {
  const auto changes = runner.DriveChanges();
  for (const auto& path : changes) std::printf("harden: changed outside: %s\n", velmora::VMUtf16ToUtf8(path).c_str());
  figures.Outside += static_cast<int>(changes.size());
  figures.Extra += std::string(", drive ") + (g_full ? "hashed" : "listed") + " before and after";
}

std::vector<std::pair<std::string, std::string>> Seeds() {
  std::vector<std::pair<std::string, std::string>> seeds;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((g_cases + L"\\seeds\\*.7z").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return seeds;
  do {
    seeds.emplace_back(velmora::VMUtf16ToUtf8(found.cFileName), ReadWholeFile(g_cases + L"\\seeds\\" + found.cFileName));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return seeds;
}

// Damaged seeds: even cases through an extract stub, odd ones through a
// launch stub; the first ones mutated, the rest cut short.
TEST(PayloadCampaign, CorruptPayloads) {
  Runner runner;
  ASSERT_TRUE(runner.Ready());
  const auto seeds = Seeds();
  ASSERT_GE(seeds.size(), 20u);
  const long mutations = Scale(60, 5000), truncations = Scale(24, 2000);
  Figures figures("corrupt payloads");
  std::map<std::string, int> kinds;
  velmora::VMWinCriticalSection lock;
  runner.ForEachCase(mutations + truncations, [&](Slot& slot, long n) {
    const auto& [seedName, seed] = seeds[(n / 2) % seeds.size()];
    const Mode mode = n % 2 ? Mode::Launch : Mode::Extract;
    std::string kind;
    const std::string archive = n < mutations ? harden::Mutate(seed, n, kind) : harden::Truncate(seed, n, kind);
    const Outcome outcome = slot.Run(mode, archive);
    slot.Clear();
    const velmora::VMWinLockHolder guard(lock);
    ++kinds[kind];
    figures.Add(outcome);
    if (!outcome.Clean()) Report(n, seedName + ", " + kind, mode, outcome);
  });
  for (const auto& [kind, count] : kinds) figures.Extra += ", " + kind + " " + std::to_string(count);
  ExpectDriveUnchanged(runner, figures);
  figures.Expect();
}

// Hostile item names, each archive through an extract stub and a launch
// stub (in the quick version through one of them, by turns). A refused one must end with
// 0xEE000001 before anything is written, not even the target folder; the
// others may fail, but only inside the target.
TEST(PayloadCampaign, HostileNames) {
  Runner runner;
  ASSERT_TRUE(runner.Ready());
  std::ifstream listing(velmora::VMUtf16ToUtf8(g_cases + L"\\names\\cases.txt"));
  ASSERT_TRUE(listing.good());
  std::vector<std::string> lines;
  for (std::string line; std::getline(listing, line);) lines.push_back(line);
  ASSERT_GE(lines.size(), 40u);
  Figures figures("hostile names");
  int refused = 0, wrote = 0;
  velmora::VMWinCriticalSection lock;
  runner.ForEachCase(static_cast<long>(lines.size()) * 2, [&](Slot& slot, long n) {
    const Mode mode = n % 2 ? Mode::Launch : Mode::Extract;
    if (!g_full && (n / 2) % 2 != n % 2) return;
    std::istringstream fields(lines[n / 2]);
    std::string number, verdict, what;
    fields >> number >> verdict;
    std::getline(fields, what);
    const std::string archive = ReadWholeFile(g_cases + L"\\names\\" + velmora::VMUtf8ToUtf16(number) + L".7z");
    Outcome outcome = slot.Run(mode, archive);
    const bool targetMade = GetFileAttributesW(slot.Target.c_str()) != INVALID_FILE_ATTRIBUTES;
    slot.Clear();
    // A launch stub's folder would show among the leftovers.
    const bool refusedCleanly = outcome.ExitCode == velmora::status::Failed && !targetMade;
    if (verdict == "refuse" && !refusedCleanly) outcome.Outside.push_back(L"(written although refused)");
    const velmora::VMWinLockHolder guard(lock);
    if (verdict == "refuse") {
      refused += refusedCleanly;
      wrote += !refusedCleanly;
    }
    figures.Add(outcome);
    if (!outcome.Clean()) Report(n, number + what, mode, outcome);
  });
  figures.Extra = ", refused " + std::to_string(refused) + ", written before refusing " + std::to_string(wrote);
  ExpectDriveUnchanged(runner, figures);
  figures.Expect();
}

// Resource limits: a decompression bomb into a small file system, a
// dictionary of 4 GiB and headers that declare 2^32 items, through both
// kinds of stub.
TEST(PayloadCampaign, ResourceLimits) {
  Runner runner(1);
  ASSERT_TRUE(runner.Ready());
  Slot& slot = runner.First();
  Figures figures("resource limits");
  auto archive = [](const wchar_t* name) { return ReadWholeFile(g_cases + L"\\limits\\" + name); };
  const std::string bomb = archive(L"bomb.7z");
  ASSERT_LT(bomb.size(), 1u << 20);

  // The bomb's target, then the launch stub's temporary folder, on a 64 MiB
  // tmpfs: the run must fail on the full disk and leave no part of the file.
  int partial = 0;
  ULONGLONG bombMs = 0;
  for (const Mode mode : {Mode::Extract, Mode::Launch}) {
    const std::wstring mountPoint = mode == Mode::Extract ? slot.CaseFolder() + L"\\disk" : slot.Temp();
    ASSERT_TRUE(CreateDirectoryW(mountPoint.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    {
      const testing_tools::TmpfsMount disk(mountPoint, L"size=64m");
      ASSERT_FALSE(disk.UnixFolder().empty()) << "mounting a tmpfs needs root on the Unix side";
      slot.Keep(L"disk");
      const std::wstring saved = slot.Target;
      if (mode == Mode::Extract) slot.Target = mountPoint + L"\\out";
      // The launch stub removes its folder itself; the runner notes
      // whatever stays in the temporary folder.
      const Outcome outcome = slot.Run(mode, bomb, 120000);
      partial += GetFileAttributesW((slot.Target + L"\\bomb.bin").c_str()) != INVALID_FILE_ATTRIBUTES;
      slot.Clear();
      slot.Target = saved;
      bombMs = std::max(bombMs, outcome.Milliseconds);
      EXPECT_NE(outcome.ExitCode, 0u) << "1 GiB cannot fit into 64 MiB";
      figures.Add(outcome);
      if (!outcome.Clean()) Report(0, "bomb", mode, outcome);
    }
    testing_tools::RemoveTree(slot.CaseFolder() + L"\\disk");
    slot.Keep(L"");
  }
  EXPECT_EQ(partial, 0) << "no part of the bomb under its name";

  ULONGLONG slowest = 0;
  for (const wchar_t* name : {L"dictionary-lzma.7z", L"dictionary-lzma2.7z", L"items-4g.7z", L"items-4g-1.7z",
                              L"items-2g.7z"}) {
    for (const Mode mode : {Mode::Extract, Mode::Launch}) {
      const Outcome outcome = slot.Run(mode, archive(name));
      slot.Clear();
      slowest = std::max(slowest, outcome.Milliseconds);
      EXPECT_LT(outcome.Milliseconds, 10000u) << velmora::VMUtf16ToUtf8(name);
      if (std::wstring(name).starts_with(L"items")) {
        EXPECT_NE(outcome.ExitCode, 0u);
      }
      figures.Add(outcome);
      if (!outcome.Clean()) Report(0, velmora::VMUtf16ToUtf8(name), mode, outcome);
    }
  }
  figures.Extra = ", bomb partial files " + std::to_string(partial) + ", bomb slowest " + std::to_string(bombMs) +
                  " ms, others slowest " + std::to_string(slowest) + " ms";
  ExpectDriveUnchanged(runner, figures);
  figures.Expect();
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    testing_tools::PathArgument(argument, "stub", g_stub);
    testing_tools::PathArgument(argument, "cases", g_cases);
    if (argument.rfind("--case=", 0) == 0) {
      for (const char* at = argument.c_str() + 7; *at != '\0'; at += *at == ',') {
        char* end = nullptr;
        const long first = std::strtol(at, &end, 10);
        if (end == at) break;
        at = end;
        g_chosen.emplace_back(first, *at == '-' ? std::strtol(at + 1, &end, 10) : first + 1);
        if (*at == '-') at = end;
      }
    }
  }
  g_full = testing_tools::HardenAtFullScale();
  if (g_stub.empty() || g_cases.empty()) {
    std::fprintf(stderr, "usage: harden_payloads --stub=STUB.exe --cases=FOLDER [--case=N|FIRST-END,...]\n");
    return 2;
  }
  return RUN_ALL_TESTS();
}
