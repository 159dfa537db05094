// SPDX-License-Identifier: Apache-2.0
// The clean-up after real extractions: what goes, what stays, and files whose
// deletion waits for another handle to close.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "support/vm_handle.h"
#include "support/vm_trace.h"
#include "tasks/delete_extracted_files.h"
#include "tasks/extract_files.h"
#include "tests/tools/folder_listing.h"
#include "tests/tools/process_runner.h"
#include "tests/tools/temp_folder.h"
#include "tests/tools/unix_side.h"
#include "tests/tools/window_driver.h"

extern std::wstring g_payloads;
extern std::wstring g_links;
extern std::wstring g_handOver;

namespace {

using testing_tools::WriteWholeFile;

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Everything below `root` (relative paths), and `root` itself as ".".
std::set<std::wstring> Remaining(const std::wstring& root) {
  std::set<std::wstring> names;
  if (!Exists(root)) return names;
  names.insert(L".");
  for (const auto& [name, entry] : testing_tools::ListFolder(root)) names.insert(name);
  return names;
}

void Put(const std::wstring& path, DWORD attributes = 0) {
  WriteWholeFile(path, "x");
  if (attributes != 0) {
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), attributes));
  }
}

// The Command moves `place` (below the target `t`) away and leaves a link to
// a folder of the user's `w\\victim` in its stead, which holds files of the
// payload's names.
void SwapForLink(const std::wstring& w, const std::wstring& place) {
  const std::wstring victim = w + L"\\victim";
  CreateDirectoryW(victim.c_str(), nullptr);
  for (const wchar_t* folder : {L"\\deep", L"\\deep\\er", L"\\docs", L"\\docs\\deep", L"\\docs\\deep\\er"}) {
    CreateDirectoryW((victim + folder).c_str(), nullptr);
  }
  Put(victim + L"\\readme.txt");
  Put(victim + L"\\deep\\er\\still.txt");
  Put(victim + L"\\docs\\deep\\er\\still.txt");
  ASSERT_TRUE(MoveFileW(place.c_str(), (w + L"\\moved").c_str()));
  ASSERT_TRUE(testing_tools::MakeSymbolicLink(victim, place));
}

// Moves `place` (below the work folder `w`) away and leaves a link to the
// user's `w\\victim` in its stead, as SwapForLink does, but from the Unix
// side, where no Windows handle can stand in the way.
void SwapBehindWindowsBack(const std::wstring& w, const std::wstring& place) {
  const std::wstring victim = w + L"\\victim";
  CreateDirectoryW(victim.c_str(), nullptr);
  Put(victim + L"\\readme.txt");
  ASSERT_TRUE(testing_tools::RunUnix(testing_tools::HostPathToWindows("/bin/mv"),
                                     {testing_tools::UnixPath(place), testing_tools::UnixPath(w + L"\\moved")}));
  ASSERT_TRUE(testing_tools::MakeSymbolicLink(victim, place));
}

// The trace lines of the clean-up that runs now.
std::vector<std::string> g_trace;
void KeepTraceLine(const char* line) { g_trace.emplace_back(line); }

std::uint32_t RunCleanup(const std::wstring& target, std::shared_ptr<ExtractionRecord> record,
                         std::function<void()> afterCheck = {}) {
  DeleteExtractedFiles task;
  task.TargetFolder = target;
  task.Record = std::move(record);
  task.AfterCheck = std::move(afterCheck);
  g_trace.clear();
  const velmora::VMTraceSink before = velmora::VMSetTraceSink(&KeepTraceLine);
  std::uint32_t exitCode = 99;
  EXPECT_EQ(task.run(exitCode), 0u);
  velmora::VMSetTraceSink(before);
  return exitCode;
}

// Whether a trace line names the entry ending in `name` as left with
// `reason`.
bool Traced(const std::string& name, const std::string& reason) {
  for (const std::string& line : g_trace) {
    if (line.find(name + " left in place: " + reason) != std::string::npos) return true;
  }
  return false;
}

TEST(DeleteExtractedFiles, RemovesWhatTheExtractionMadeAndNothingElse) {
  struct Row {
    const char* Name;
    const wchar_t* Payload;  // null: nothing is extracted
    bool WithRecord;
    // Makes what the launched program or the user left, in the work folder
    // `w` with the target `t`, before or after the extraction.
    std::function<void(const std::wstring& w, const std::wstring& t)> Before, After;
    const wchar_t* Target;  // below the work folder
    std::set<std::wstring> Remains;  // below the work folder
    // Instead of Remains: entries that must still be there, with attributes
    // they must still have.
    std::map<std::wstring, DWORD> Kept = {};
    // Runs once the clean-up has checked and held the folders it deletes,
    // before it lists or deletes anything.
    std::function<void(const std::wstring& w, const std::wstring& t)> AtCheck = {};
    // The end of the name of an entry the trace must give as left in place,
    // with the reason.
    const char* TracedName = nullptr;
    const char* TracedReason = nullptr;
  };
  const auto existingTarget = [](const std::wstring&, const std::wstring& t) { CreateDirectoryW(t.c_str(), nullptr); };
  const auto none = [](const std::wstring&, const std::wstring&) {};
  std::set<std::wstring> fifty = {L".", L"t"};
  for (int i = 0; i < 50; ++i) fifty.insert(L"t\\mine" + std::to_wstring(i) + L".txt");
  fifty.insert(L"t\\sub");
  fifty.insert(L"t\\sub\\mine.txt");

  const Row rows[] = {
      {"a missing folder is nothing to do", nullptr, true, none, none, L"t", {L"."}},
      {"read-only and hidden payload files go with the folder", L"crafted-attributes.7z", true, none, none, L"t",
       {L"."}},
      {"a system file the program left stays with the folders above it", L"crafted-attributes.7z", true, none,
       [](const std::wstring&, const std::wstring& t) { Put(t + L"\\sub\\left.log", FILE_ATTRIBUTE_SYSTEM); }, L"t",
       {L".", L"t", L"t\\sub", L"t\\sub\\left.log"}},
      {"a hidden or read-only file the program left goes", L"crafted-attributes.7z", true, none,
       [](const std::wstring&, const std::wstring& t) {
         Put(t + L"\\sub\\dir\\a.log", FILE_ATTRIBUTE_HIDDEN);
         Put(t + L"\\b.log", FILE_ATTRIBUTE_READONLY);
       },
       L"t", {L"."}},
      {"system files and folders of the payload go", L"crafted-system.7z", true, none, none, L"t", {L"."}},
      {"without a record the system attribute protects every file", L"crafted-system.7z", false, none, none, L"t",
       {L".", L"t", L"t\\sys", L"t\\sys\\deep", L"t\\sys\\deep\\payload.sys"}},
      {"an existing target keeps the user's files, also in a folder the payload shares", L"method-copy.7z", true,
       [](const std::wstring&, const std::wstring& t) {
         CreateDirectoryW(t.c_str(), nullptr);
         for (int i = 0; i < 50; ++i) Put(t + L"\\mine" + std::to_wstring(i) + L".txt");
         CreateDirectoryW((t + L"\\sub").c_str(), nullptr);
         Put(t + L"\\sub\\mine.txt");
       },
       none, L"t", fifty},
      {"a folder of the payload goes whole in an existing target, with what the program put in it",
       L"method-copy.7z", true,
       [](const std::wstring&, const std::wstring& t) { CreateDirectoryW(t.c_str(), nullptr); },
       [](const std::wstring&, const std::wstring& t) { Put(t + L"\\docs\\deep\\new.log"); }, L"t", {L".", L"t"}},
      {"missing parents the extraction made go too", L"method-copy.7z", true, none, none, L"a\\b\\t", {L"."}},
      {"a refused payload made nothing, so the user's folder stays", L"crafted-unsafe-parent.7z", true,
       [](const std::wstring&, const std::wstring& t) {
         CreateDirectoryW(t.c_str(), nullptr);
         Put(t + L"\\mine.txt");
       },
       none, L"t", {L".", L"t", L"t\\mine.txt"}},
      {"an existing target replaced by a link: nothing behind the link goes", L"method-copy.7z", true, existingTarget,
       [](const std::wstring& w, const std::wstring& t) { SwapForLink(w, t); }, L"t", {},
       {{L"victim\\readme.txt", 0}, {L"victim\\docs\\deep\\er\\still.txt", 0}}},
      {"a folder that was there before replaced by a link", L"method-copy.7z", true,
       [](const std::wstring&, const std::wstring& t) {
         CreateDirectoryW(t.c_str(), nullptr);
         CreateDirectoryW((t + L"\\docs").c_str(), nullptr);
       },
       [](const std::wstring& w, const std::wstring& t) { SwapForLink(w, t + L"\\docs"); }, L"t", {},
       {{L"victim\\deep\\er\\still.txt", 0}}},
      {"a folder the extraction made replaced by a link", L"method-copy.7z", true, existingTarget,
       [](const std::wstring& w, const std::wstring& t) { SwapForLink(w, t + L"\\docs"); }, L"t", {},
       {{L"victim\\deep\\er\\still.txt", 0}}},
      {"a hard link the program left to a read-only file keeps that file read-only", L"method-copy.7z", true,
       [](const std::wstring& w, const std::wstring&) { Put(w + L"\\outside.cfg", FILE_ATTRIBUTE_READONLY); },
       [](const std::wstring& w, const std::wstring& t) {
         ASSERT_TRUE(testing_tools::MakeHardLink(w + L"\\outside.cfg", t + L"\\bin\\link.cfg"));
       },
       L"t", {}, {{L"outside.cfg", FILE_ATTRIBUTE_READONLY}}},
  };
  velmora::VMUniqueFile holder;  // another program's handle on a folder of the tree
  const auto heldByAnother = [&](const std::wstring&, const std::wstring& t) {
    // It may delete or rename the folder, so the clean-up cannot hold it.
    holder.reset(CreateFileW(t.c_str(), DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(holder) << GetLastError();
  };
  const Row heldRows[] = {
      {"a folder the extraction made cannot be moved while the clean-up holds it", L"method-copy.7z", true, none,
       none, L"t", {L".", L"victim", L"victim\\readme.txt"}, {},
       [](const std::wstring& w, const std::wstring& t) {
         CreateDirectoryW((w + L"\\victim").c_str(), nullptr);
         Put(w + L"\\victim\\readme.txt");
         EXPECT_FALSE(MoveFileW(t.c_str(), (w + L"\\moved").c_str()));
         EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
       }},
      {"a folder the extraction made, swapped for a link after its check where no hold can stop it: the walk "
       "never follows its name",
       L"method-copy.7z", true, none, none, L"t", {}, {{L"victim\\readme.txt", 0}},
       [](const std::wstring& w, const std::wstring& t) { SwapBehindWindowsBack(w, t); }, "\\t",
       "not what was extracted"},
      {"a sub-folder the extraction made, swapped for a link after the check", L"method-copy.7z", true, none, none,
       L"t", {}, {{L"victim\\deep\\er\\still.txt", 0}, {L"victim\\docs\\deep\\er\\still.txt", 0}},
       [](const std::wstring& w, const std::wstring& t) { SwapForLink(w, t + L"\\docs"); }, "\\t\\docs", "a link"},
      {"a folder of the tree another program may delete or rename: nothing in it goes by its path",
       L"method-copy.7z", true, none, heldByAnother, L"t", {},
       {{L"t\\readme.txt", 0}, {L"t\\docs\\deep\\er\\still.txt", 0}}, {}, "\\t", "still in use"},
  };
  std::vector<const Row*> all;
  for (const Row& row : rows) all.push_back(&row);
  for (const Row& row : heldRows) all.push_back(&row);
  for (const Row* each : all) {
    const Row& row = *each;
    SCOPED_TRACE(row.Name);
    testing_tools::TempFolder work(L"vmstub-cleanup-");
    ASSERT_FALSE(work.Path().empty());
    const std::wstring target = work / row.Target;
    row.Before(work.Path(), target);
    auto record = std::make_shared<ExtractionRecord>();
    if (row.Payload) (void)ExtractArchive(g_payloads + L"\\" + row.Payload, target, record.get());
    row.After(work.Path(), target);
    std::function<void()> atCheck;
    if (row.AtCheck) atCheck = [&] { row.AtCheck(work.Path(), target); };
    EXPECT_EQ(RunCleanup(target, row.WithRecord ? record : nullptr, atCheck), 0u);
    holder.reset();
    if (row.TracedName) {
      EXPECT_TRUE(Traced(row.TracedName, row.TracedReason)) << testing::PrintToString(g_trace);
    }
    if (row.Kept.empty()) {
      EXPECT_EQ(Remaining(work.Path()), row.Remains);
    }
    for (const auto& [name, attributes] : row.Kept) {
      const DWORD found = GetFileAttributesW((work / name).c_str());
      EXPECT_TRUE(found != INVALID_FILE_ATTRIBUTES && (found & attributes) == attributes) << testing::PrintToString(name);
    }
  }
}

struct HeldFile {
  std::wstring Path;
  velmora::VMUniqueFile Handle;
  std::wstring Sibling;  // another file of the tree, deleted in the same pass
  std::wstring Gate;     // with a running image: created to let it end
};

// Lets the file go once the clean-up has deleted the rest of the tree, so
// that only the held file and its folders wait for the retries. (A pending
// file cannot be recognised from outside under Wine.)
DWORD WINAPI CloseWhenTheRestIsGone(void* argument) {
  auto& held = *static_cast<HeldFile*>(argument);
  (void)testing_tools::WaitFor([&] { return !Exists(held.Sibling); }, 60000);
  held.Handle.reset();
  if (!held.Gate.empty()) WriteWholeFile(held.Gate, "");
  return 0;
}

// A file held open with delete sharing, a program still running from its
// image, and a program still working in a folder of the tree (as Wine's
// console host of a console Command does for a moment after the Command
// ends) keep their folders only until they let go.
TEST(DeleteExtractedFiles, FoldersGoOnceAHeldFileIsLetGo) {
  enum class Hold { Handle, Image, WorkingFolder };
  const std::pair<Hold, const char*> holds[] = {
      {Hold::Handle, "a handle with delete sharing"},
      {Hold::Image, "a running program's image"},
      {Hold::WorkingFolder, "a running program's working folder"},
  };
  for (const auto& [hold, name] : holds) {
    SCOPED_TRACE(name);
    testing_tools::TempFolder work(L"vmstub-cleanup-");
    const std::wstring target = work / L"t";
    auto record = std::make_shared<ExtractionRecord>();
    ASSERT_EQ(ExtractArchive(g_payloads + L"\\method-copy.7z", target, record.get()), 0u);
    const std::wstring deepest = target + L"\\docs\\deep\\er";
    HeldFile held{deepest + L"\\still.txt", {}, deepest + L"\\other.txt", {}};
    Put(held.Sibling);
    velmora::VMUniqueKernelHandle program;
    if (hold == Hold::Handle) {
      held.Handle.reset(CreateFileW(held.Path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
      ASSERT_TRUE(held.Handle) << GetLastError();
    } else {
      // The helper of a launch, waiting for the gate: run from the tree, or
      // from its own place with the deepest folder as its working folder.
      std::wstring image = g_handOver;
      std::wstring folder = work.Path();
      if (hold == Hold::Image) {
        image = held.Path = deepest + L"\\helper.exe";
        ASSERT_TRUE(CopyFileW(g_handOver.c_str(), image.c_str(), FALSE));
      } else {
        folder = deepest;
      }
      held.Gate = work / L"gate";
      const std::wstring said = work / L"said.txt";
      std::wstring line = L"\"" + image + L"\" --helper 0 \"" + said + L"\" \"" + held.Gate + L"\"";
      STARTUPINFOW startup{};
      startup.cb = sizeof(startup);
      PROCESS_INFORMATION started{};
      ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                                 folder.c_str(), &startup, &started));
      CloseHandle(started.hThread);
      program.reset(started.hProcess);
      // Once it has written, it runs in its working folder.
      ASSERT_TRUE(testing_tools::WaitFor([&] { return testing_tools::ReadWholeFile(said) == "waiting"; }, 120000))
          << "the helper never started";
    }
    const velmora::VMUniqueKernelHandle closer(CreateThread(nullptr, 0, &CloseWhenTheRestIsGone, &held, 0, nullptr));
    ASSERT_TRUE(closer);
    EXPECT_EQ(RunCleanup(target, record), 0u);
    WaitForSingleObject(closer.get(), INFINITE);
    if (program) WaitForSingleObject(program.get(), 120000);
    EXPECT_FALSE(Exists(target)) << "left: " << testing::PrintToString(Remaining(target));
  }
}

// A folder link inside the tree is never followed: the folder it points to
// keeps its files. (Wine cannot remove a Unix symlink through the Windows
// API, so the link itself and the folders above it may stay there.)
TEST(DeleteExtractedFiles, FolderLinksAreNeverFollowed) {
  ASSERT_FALSE(g_links.empty()) << "--links= missing";
  const std::wstring tree = g_links + L"\\tree";
  ASSERT_TRUE(GetFileAttributesW((tree + L"\\sub\\link").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_EQ(RunCleanup(tree, nullptr), 0u);
  EXPECT_FALSE(Exists(tree + L"\\sub\\own.txt"));
  EXPECT_TRUE(Exists(g_links + L"\\outside\\keep.txt"));
  EXPECT_TRUE(Exists(g_links + L"\\outside\\inner\\keep.txt"));
}

}  // namespace
