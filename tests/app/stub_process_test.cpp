// SPDX-License-Identifier: Apache-2.0
// The stub as a user meets it: a real process, its exit code as Windows
// reports it, and the message box it ends with.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/vm_scope_exit.h"
#include "support/vm_utf_convert.h"
#include "tests/tools/system_sha256.h"
#include "tests/tools/folder_listing.h"
#include "tests/tools/folder_tree.h"
#include "tests/tools/native_libraries.h"
#include "tests/tools/process_runner.h"
#include "tests/tools/temp_folder.h"
#include "tests/tools/unix_side.h"
#include "tests/tools/window_driver.h"

namespace {

using testing_tools::RunProgram;

std::wstring g_stub;
std::wstring g_payloads;  // the test payloads, as Windows sees them
std::wstring g_plant;     // a library that leaves a marker when loaded
std::wstring g_unixCommand;
std::wstring g_handOver;
std::wstring g_plantedMsiexec;
std::wstring g_foundReadme;

// The edit box of the extract-to dialog (the stub's resources are not linked
// into this program; it sees the stub only from outside).
constexpr int kTargetPathId = 1046;

std::set<std::wstring> FolderNames(const std::wstring& folder);
std::string LeftBehind(const std::wstring& folder);

// Variables the user set for himself: in HKCU\Environment, where Windows
// takes his processes' variables from, and in this process's environment,
// which the installer and the elevated instance it starts inherit (Wine
// applies HKCU\Environment only to processes started after its server
// restarts). Both are as before once the object goes.
class UserEnvironment {
 public:
  UserEnvironment() = default;
  UserEnvironment(const UserEnvironment&) = delete;
  UserEnvironment& operator=(const UserEnvironment&) = delete;
  ~UserEnvironment() {
    for (auto saved = saved_.rbegin(); saved != saved_.rend(); ++saved) {
      SetEnvironmentVariableW(saved->Name.c_str(), saved->Process ? saved->Process->c_str() : nullptr);
      if (saved->Registry) {
        RegSetKeyValueW(HKEY_CURRENT_USER, L"Environment", saved->Name.c_str(), saved->Type, saved->Registry->c_str(),
                        static_cast<DWORD>((saved->Registry->size() + 1) * sizeof(wchar_t)));
      } else {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Environment", saved->Name.c_str());
      }
    }
  }

  void Set(const wchar_t* name, const std::wstring& value) {
    Saved saved{name};
    wchar_t text[32767] = {};
    if (GetEnvironmentVariableW(name, text, 32767) > 0) saved.Process = text;
    DWORD size = sizeof(text);
    if (RegGetValueW(HKEY_CURRENT_USER, L"Environment", name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                     &saved.Type, text, &size) == ERROR_SUCCESS) {
      saved.Registry = text;
    }
    saved_.push_back(std::move(saved));
    EXPECT_TRUE(SetEnvironmentVariableW(name, value.c_str()));
    EXPECT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, L"Environment", name, REG_SZ, value.c_str(),
                              static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }

 private:
  struct Saved {
    std::wstring Name;
    std::optional<std::wstring> Process = {};
    std::optional<std::wstring> Registry = {};
    DWORD Type = REG_SZ;
  };
  std::vector<Saved> saved_;
};

// A user's TEMP below `folder` and a folder of his own at the front of PATH,
// holding a program named vmusertool.exe that leaves
// planted-program-was-run.txt beside itself when run.
void SetUserTempAndPath(UserEnvironment& environment, const std::wstring& folder) {
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((folder + L"\\temp").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((folder + L"\\bin").c_str(), nullptr));
  ASSERT_TRUE(CopyFileW(g_plantedMsiexec.c_str(), (folder + L"\\bin\\vmusertool.exe").c_str(), FALSE));
  wchar_t path[32767] = {};
  GetEnvironmentVariableW(L"PATH", path, 32767);
  environment.Set(L"TEMP", folder + L"\\temp");
  environment.Set(L"TMP", folder + L"\\temp");
  environment.Set(L"PATH", folder + L"\\bin;" + path);
}

class StubProcess : public ::testing::Test {
 protected:
  void SetUp() override { NewCase(); }

  // A fresh folder with a copy of the stub under the name users see. The
  // previous case's folder goes with everything in it, and the last one goes
  // with the fixture, also when an assertion ended the case early.
  void NewCase() {
    folder_.reset();
    folder_.emplace();
    ASSERT_FALSE(folder_->Path().empty()) << GetLastError();
    installer_ = *folder_ / L"setup.exe";
    ASSERT_TRUE(CopyFileW(g_stub.c_str(), installer_.c_str(), FALSE)) << GetLastError();
  }
  [[nodiscard]] const std::wstring& Folder() const { return folder_->Path(); }

  void EmbedDocument(const std::string& text, WORD language) {
    HANDLE update = BeginUpdateResourceW(installer_.c_str(), FALSE);
    ASSERT_NE(update, nullptr);
    ASSERT_TRUE(UpdateResourceW(update, RT_RCDATA, MAKEINTRESOURCEW(222), language,
                                const_cast<char*>(text.data()), static_cast<DWORD>(text.size())));
    ASSERT_TRUE(EndUpdateResourceW(update, FALSE));
  }

  // Appends a test payload behind the installer, as the packer does: with
  // the payload's SHA-256 in the image (after any document), or without it,
  // as a stub and an archive joined by hand; `damaged` changes one byte in
  // the middle of the payload once its digest is taken.
  void AppendPayload(const wchar_t* name, bool withDigest = true, bool damaged = false) {
    std::string payload = testing_tools::ReadWholeFile(g_payloads + L"\\" + name);
    ASSERT_FALSE(payload.empty());
    if (withDigest) {
      velmora::VMWinSha256 sha;
      velmora::VMWinSha256::Digest digest{};
      ASSERT_EQ(sha.Start(), 0u);
      ASSERT_EQ(sha.Add(payload.data(), payload.size()), 0u);
      ASSERT_EQ(sha.Finish(digest), 0u);
      HANDLE update = BeginUpdateResourceW(installer_.c_str(), FALSE);
      ASSERT_NE(update, nullptr);
      ASSERT_TRUE(UpdateResourceW(update, RT_RCDATA, MAKEINTRESOURCEW(225), 1033, digest.data(),
                                  static_cast<DWORD>(digest.size())));
      ASSERT_TRUE(EndUpdateResourceW(update, FALSE));
    }
    if (damaged) payload[payload.size() / 2] ^= 0x01;
    HANDLE file = CreateFileW(installer_.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, payload.data(), static_cast<DWORD>(payload.size()), &written, nullptr));
    CloseHandle(file);
  }

  testing_tools::ProgramResult Run(const std::wstring& arguments = L"",
                                   const std::function<void(DWORD)>& user = {},
                                   const std::function<void()>& whileSuspended = {}) {
    std::wstring line = L"\"" + installer_ + L"\"";
    if (!arguments.empty()) line += L" " + arguments;
    auto result = RunProgram(line, Folder(), 60000, user, whileSuspended);
    EXPECT_EQ(result.StartError, 0u);
    EXPECT_FALSE(result.TimedOut);
    return result;
  }

  std::optional<testing_tools::TempFolder> folder_;
  std::wstring installer_;
};

TEST_F(StubProcess, ExitCodeRule) {
  struct Row {
    const char* Name = "";
    std::string Document = {};  // empty: no configuration resource
    WORD Language = 1033;
    std::wstring Arguments = {};
    std::uint32_t ExitCode = 0;
    std::wstring Caption = {};
    std::wstring Text = {};
    bool FolderDialog = false;  // the extract-to dialog comes up and is accepted
  };
  const std::string launch =
      "<SelfExtractor FormatVersionMajor='3' FormatVersionMinor='1'><Launch><Options><Option Id='o'>"
      "<ProcessorArchitectureSet>{}</ProcessorArchitectureSet><Commands><Command Id='run'><CreateProcess>"
      "<Executable>cmd.exe</Executable></CreateProcess></Command></Commands></Option></Options></Launch>"
      "</SelfExtractor>";
  auto launchFor = [&](const char* architectures) {
    std::string document = launch;
    return document.replace(document.find("{}"), 2, architectures);
  };
  // A Command of each kind, the elevated one the default.
  const std::string everyKind =
      "<SelfExtractor FormatVersionMajor='3' FormatVersionMinor='1'><Launch><Options><Option Id='o'>"
      "<ProcessorArchitectureSet><ProcessorArchitecture>x86</ProcessorArchitecture><ProcessorArchitecture>x64"
      "</ProcessorArchitecture></ProcessorArchitectureSet><Commands>"
      "<Command Id='process'><CreateProcess><Executable>cmd.exe</Executable></CreateProcess></Command>"
      "<Command Id='shell'><ShellExecute Wait='true'><Executable>cmd.exe</Executable></ShellExecute></Command>"
      "<Command Id='admin'><ShellExecute Wait='true' AsAdmin='true'><Executable>cmd.exe</Executable></ShellExecute>"
      "</Command><DefaultCommand>admin</DefaultCommand></Commands></Option></Options></Launch></SelfExtractor>";
  wchar_t windows[MAX_PATH] = {};
  ASSERT_GT(GetSystemWindowsDirectoryW(windows, MAX_PATH), 0u);
  const std::wstring windowsTemp = std::wstring(windows) + L"\\Temp";
  const Row rows[] = {
      {.Name = "a bad command line ends at once, before the configuration",
       .Arguments = L"--no-such-option",
       .ExitCode = 0xEE002003,
       .Caption = L" Self Extractor",
       .Text = L"The command line arguments are invalid."},
      {.Name = "without a document the stub is a plain self-extractor; a failed task is the exit code",
       .ExitCode = 0xEE000001,
       .Caption = L"setup Self Extractor",
       .Text = L"The execution was aborted due to an error.",
       .FolderDialog = true},
      {.Name = "a document in another language is not found, and that error is reported",
       .Document = "<SelfExtractor FormatVersionMajor='3' FormatVersionMinor='1'/>",
       .Language = 1031,
       .ExitCode = ERROR_RESOURCE_LANG_NOT_FOUND,
       .Caption = L" Self Extractor",
       .Text = L"The execution was aborted due to an error."},
      {.Name = "a document that is not XML ends the run under the caption before any document",
       .Document = "<SelfExtractor FormatVersionMajor='3' FormatVersionMinor='1'><Title>Example</Title>",
       .ExitCode = 0xEE000057,
       .Caption = L" Self Extractor",
       .Text = L"The execution was aborted due to an error."},
      {.Name = "a document without its version",
       .Document = "<SelfExtractor><Title>Example</Title></SelfExtractor>",
       .ExitCode = 0xEE000039,
       .Caption = L" Self Extractor",
       .Text = L"The execution was aborted due to an error."},
      {.Name = "a document that fails after its title shows that title",
       .Document = "<SelfExtractor FormatVersionMajor='3' FormatVersionMinor='1'><Title>Example</Title>"
                   "<Extract><ProgressDialog><Enabled>yes</Enabled></ProgressDialog></Extract></SelfExtractor>",
       .ExitCode = 0xEE000051,
       .Caption = L" Example",
       .Text = L"The execution was aborted due to an error."},
      {.Name = "an extract document: its title on the dialog, then a stub without payload fails to unpack",
       .Document = "\xEF\xBB\xBF<?xml version='1.0' encoding='UTF-8'?>\n<SelfExtractor FormatVersionMajor='3' "
                   "FormatVersionMinor='0'><Title>Gr\xC3\xBC\xC3\x9F""e</Title><Extract/></SelfExtractor>",
       .ExitCode = 0xEE000001,
       .Caption = L" Gr\u00FC\u00DFe",
       .Text = L"The execution was aborted due to an error.",
       .FolderDialog = true},
      {.Name = "a launch stub with nothing for this machine's processor",
       .Document = launchFor("<ProcessorArchitecture>IA64</ProcessorArchitecture>"
                             "<ProcessorArchitecture>ARM64</ProcessorArchitecture>"),
       .ExitCode = 0xEE002004,
       .Caption = L" Setup",
       .Text = L"The current platform is not supported."},
      {.Name = "a launch stub that fits this machine unpacks first, which fails without a payload",
       .Document = launchFor("<ProcessorArchitecture>x86</ProcessorArchitecture>"
                             "<ProcessorArchitecture>x64</ProcessorArchitecture>"),
       .ExitCode = 0xEE000001,
       .Caption = L" Setup",
       .Text = L"The execution was aborted due to an error."},
      // Internal mode is the elevated instance of an elevated Command: any
      // program could start the installer so and have the user approve it.
      {.Name = "--internal 1 runs no CreateProcess Command",
       .Document = everyKind,
       .Arguments = L"--internal 1 --command process",
       .ExitCode = 0xEE002003,
       .Caption = L" Setup",
       .Text = L"The command line arguments are invalid."},
      {.Name = "--internal 1 runs no ShellExecute Command that is not AsAdmin",
       .Document = everyKind,
       .Arguments = L"--internal 1 --command shell",
       .ExitCode = 0xEE002003,
       .Caption = L" Setup",
       .Text = L"The command line arguments are invalid."},
      {.Name = "--internal 1 on an extract stub",
       .Document = "<SelfExtractor FormatVersionMajor='3' FormatVersionMinor='1'><Title>Example</Title><Extract/>"
                   "</SelfExtractor>",
       .Arguments = L"--internal 1 --gui on",
       .ExitCode = 0xEE002003,
       .Caption = L" Example",
       .Text = L"The command line arguments are invalid."},
      {.Name = "--internal 1 with the AsAdmin Command goes on, and refuses an image that names no payload",
       .Document = everyKind,
       .Arguments = L"--internal 1",
       .ExitCode = 0xEE002008,
       .Caption = L" Setup",
       .Text = L"The execution was aborted due to an error."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    ASSERT_NO_FATAL_FAILURE(NewCase());
    if (!row.Document.empty()) EmbedDocument(row.Document, row.Language);
    const std::set<std::wstring> windowsTempBefore = FolderNames(windowsTemp);
    std::wstring dialogCaption;
    const auto result = Run(row.Arguments, [&](DWORD process) {
      if (!row.FolderDialog) return;
      HWND dialog = testing_tools::WaitForDialog(process, kTargetPathId);
      if (dialog == nullptr) return;
      dialogCaption = testing_tools::WindowText(dialog);
      testing_tools::PressKey(dialog, VK_RETURN);
    });
    EXPECT_EQ(dialogCaption, row.FolderDialog ? row.Caption : L"") << "the dialog carries the same caption";
    EXPECT_EQ(result.ExitCode, row.ExitCode) << std::hex << result.ExitCode;
    ASSERT_EQ(result.MessageBoxes.size(), 1u) << "exactly one message box at the end";
    EXPECT_EQ(result.MessageBoxes[0].Caption, row.Caption);
    EXPECT_EQ(result.MessageBoxes[0].Text, row.Text);
    EXPECT_EQ(FolderNames(windowsTemp), windowsTempBefore) << "nothing is left in the Windows temporary folder";
  }
}

TEST_F(StubProcess, BadCommandLineEndsAtOnce) {
  struct Row {
    const wchar_t* Arguments;
    bool MessageBox;
  };
  const Row rows[] = {
      {L"--gui maybe", true},
      {L"--internal 2", true},
      {L"--target", true},
      {L"--target C:\\x\\\xD800" L"evil", true},  // not valid UTF-16
      {L"--gui off --internal 2", false},  // the user asked for no message box before the mistake
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(row.Arguments)));
    ASSERT_NO_FATAL_FAILURE(NewCase());
    const auto result = Run(row.Arguments);
    EXPECT_EQ(result.ExitCode, 0xEE002003u) << std::hex << result.ExitCode;
    EXPECT_EQ(result.MessageBoxes.size(), row.MessageBox ? 1u : 0u);
    if (!result.MessageBoxes.empty()) {
      EXPECT_EQ(result.MessageBoxes[0].Caption, L" Self Extractor");
      EXPECT_EQ(result.MessageBoxes[0].Text, L"The command line arguments are invalid.");
    }
  }
}

TEST_F(StubProcess, GuiModeInAnyLetterCase) {
  const auto result = Run(L"--gui OFF extra-word");
  EXPECT_NE(result.ExitCode, 0xEE002003u) << "the command line is accepted";
  EXPECT_TRUE(result.MessageBoxes.empty()) << "and its gui mode keeps every message box away";
}

TEST_F(StubProcess, EscapeInTheExtractToDialogEndsTheRunQuietly) {
  struct Seen {
    std::wstring Caption, Prefilled;
    RECT Window{}, WorkArea{};
  } seen;
  const auto result = Run(L"", [&](DWORD process) {
    HWND dialog = testing_tools::WaitForDialog(process, kTargetPathId);
    if (dialog == nullptr) return;
    seen.Caption = testing_tools::WindowText(dialog);
    seen.Prefilled = testing_tools::WindowText(GetDlgItem(dialog, kTargetPathId));
    GetWindowRect(dialog, &seen.Window);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &monitor);
    seen.WorkArea = monitor.rcWork;
    testing_tools::PressKey(dialog, VK_ESCAPE);
  });
  EXPECT_EQ(seen.Caption, L"setup Self Extractor") << "the default title: the file's name";
  EXPECT_EQ(seen.Prefilled, Folder()) << "a stub without a document unpacks into the working folder";
  EXPECT_NEAR((seen.Window.left + seen.Window.right) / 2, (seen.WorkArea.left + seen.WorkArea.right) / 2, 1)
      << "without an owner it opens in the middle of the work area";
  EXPECT_NEAR((seen.Window.top + seen.Window.bottom) / 2, (seen.WorkArea.top + seen.WorkArea.bottom) / 2, 1);
  EXPECT_EQ(result.ExitCode, 0xEE000005u) << std::hex << result.ExitCode;
  EXPECT_TRUE(result.MessageBoxes.empty()) << "a cancel is no error";
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((Folder() + L"\\*").c_str(), &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  std::vector<std::wstring> names;
  do {
    if (found.cFileName[0] != L'.') names.emplace_back(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  EXPECT_EQ(names, std::vector<std::wstring>{L"setup.exe"}) << "nothing unpacked";
}

TEST_F(StubProcess, IsA32BitGuiProgramWithItsOwnResources) {
  HMODULE image = LoadLibraryExW(g_stub.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(image, nullptr);
  EXPECT_NE(FindResourceW(image, MAKEINTRESOURCEW(223), RT_DIALOG), nullptr) << "language dialog";
  EXPECT_NE(FindResourceW(image, MAKEINTRESOURCEW(224), RT_DIALOG), nullptr) << "progress dialog";
  EXPECT_NE(FindResourceW(image, MAKEINTRESOURCEW(226), RT_DIALOG), nullptr) << "extract-to dialog";
  EXPECT_NE(FindResourceW(image, MAKEINTRESOURCEW(1), RT_MANIFEST), nullptr) << "manifest";
  EXPECT_NE(FindResourceW(image, MAKEINTRESOURCEW(1), RT_GROUP_ICON), nullptr) << "icon";
  EXPECT_EQ(FindResourceW(image, MAKEINTRESOURCEW(222), RT_RCDATA), nullptr) << "the plain stub has no document";
  FreeLibrary(image);
}

// An extract stub with its payload appended, run quietly: the files land in
// the target folder and the exit code is 0, also after the installer was
// signed (the certificate sits behind the payload); a payload with an unsafe
// item ends in 0xEE000001 with nothing unpacked.
TEST_F(StubProcess, QuietExtractStubUnpacksItsPayload) {
  struct Row {
    const char* Name;
    const wchar_t* Installer;  // in the payload folder
    const wchar_t* Payload;    // appended to the installer; nullptr: none
    std::uint32_t ExitCode;
    bool WithoutDigest = false;  // a stub and an archive joined by hand
    bool Damaged = false;        // one payload byte changed after the digest was taken
  };
  const Row rows[] = {
      {"plain stub and payload", nullptr, L"tree.7z", 0},
      {"signed after packing", L"signed.exe", nullptr, 0},
      {"an unsafe item path", nullptr, L"crafted-unsafe-parent.7z", 0xEE000001},
      {"an item named like a device", nullptr, L"crafted-unsafe-device.7z", 0xEE000001},
      {"joined by hand without a digest, the payload still unpacks", nullptr, L"tree.7z", 0, true},
      {"one payload byte changed: refused, nothing left", nullptr, L"tree.7z", 0xEE002008, false, true},
      {"the same without a digest: unpacking fails, and what it wrote goes", nullptr, L"tree.7z", 0xEE000001, true,
       true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    ASSERT_NO_FATAL_FAILURE(NewCase());
    if (row.Installer != nullptr) {
      ASSERT_TRUE(CopyFileW((g_payloads + L"\\" + row.Installer).c_str(), installer_.c_str(), FALSE));
    }
    if (row.Payload != nullptr) AppendPayload(row.Payload, !row.WithoutDigest, row.Damaged);
    const std::wstring target = Folder() + L"\\out";
    const auto result = Run(L"--gui off --target \"" + target + L"\"");
    EXPECT_EQ(result.ExitCode, row.ExitCode) << std::hex << result.ExitCode;
    EXPECT_TRUE(result.MessageBoxes.empty());
    const DWORD readme = GetFileAttributesW((target + L"\\readme.txt").c_str());
    EXPECT_EQ(readme != INVALID_FILE_ATTRIBUTES, row.ExitCode == 0);
    if (row.ExitCode != 0) {
      EXPECT_EQ(GetFileAttributesW(target.c_str()), INVALID_FILE_ATTRIBUTES) << "not even the target folder is made";
    }
    EXPECT_EQ(GetFileAttributesW((Folder() + L"\\x").c_str()), INVALID_FILE_ATTRIBUTES);
    testing_tools::RemoveTree(target);
  }
}

// The helper that the handover program leaves running, seen from outside:
// what it last wrote into its result file and whether its process still
// runs. The starter names the helper's process id beside the result before
// it ends; the helper is opened once it is named, so that its end can be
// waited for and told apart from a helper that only waits.
class HandedOverHelper {
 public:
  explicit HandedOverHelper(std::wstring result) : result_(std::move(result)) {}
  ~HandedOverHelper() {
    if (process_ != nullptr) CloseHandle(process_);
  }
  HandedOverHelper(const HandedOverHelper&) = delete;
  HandedOverHelper& operator=(const HandedOverHelper&) = delete;

  [[nodiscard]] std::string LastWritten() const { return testing_tools::ReadWholeFile(result_); }

  // True once the helper was named and its process is gone.
  [[nodiscard]] bool Ended() {
    Find();
    return named_ && (process_ == nullptr || WaitForSingleObject(process_, 0) == WAIT_OBJECT_0);
  }

  // For a failure message.
  [[nodiscard]] std::string Describe() {
    std::string text = "the helper last wrote " + testing::PrintToString(LastWritten());
    const std::string unplaced = testing_tools::ReadWholeFile(result_ + L".part");
    if (!unplaced.empty()) text += ", could not yet put " + testing::PrintToString(unplaced) + " in its place";
    Find();
    if (!named_) return text + "; its starter never named it";
    return text + (Ended() ? "; its process has ended" : "; its process still runs");
  }

 private:
  void Find() {
    if (named_) return;
    const std::string id = testing_tools::ReadWholeFile(result_ + L".pid");
    if (id.empty()) return;
    named_ = true;
    process_ = OpenProcess(SYNCHRONIZE, FALSE, std::strtoul(id.c_str(), nullptr, 10));
  }

  std::wstring result_;
  bool named_ = false;
  HANDLE process_ = nullptr;  // null once named: it had ended already
};

// A launch stub from start to end: it unpacks its payload, runs the command
// in the unpacked folder (the command fails unless it finds the payload's
// readme.txt there), passes the exit code on and removes what it unpacked.
// The commands that the stub waits for open no console, or have the stub
// wait for their whole tree: Wine's console host would keep the unpacked
// folder as its working folder for as long as it outlives the command (see
// foundreadme).
TEST_F(StubProcess, LaunchStubRunsItsCommandAndCleansUp) {
  struct Row {
    const char* Name;
    std::string Command;  // the command element, {} standing for its content
    const char* Executable = nullptr;  // null: foundreadme, which exits with its argument if it finds readme.txt
    const char* Arguments = "7";
    const wchar_t* Payload = L"tree.7z";
    const wchar_t* Target = L"run";  // below the case folder
    std::wstring More = {};          // further stub arguments
    bool UserFiles = false;          // the target holds 50 files of the user beforehand
    std::uint32_t ExitCode = 7;
    bool Unpacked = false;           // the unpacked files stay
    bool Installs = false;           // the example product is installed afterwards
    const wchar_t* Leaves = nullptr;  // a file the program writes in the target, kept by the clean-up
    bool Planted = false;  // a program named msiexec.exe lies beside the installer
    // The target lies on a file system of its own, which the command makes
    // read-only before it exits with 7.
    bool ReadOnly = false;
    // With UserFiles: the user's file of this name stands at a payload
    // item's place.
    const wchar_t* UserFileAtItem = nullptr;
    // The program hands over to a helper and exits with 7; the helper reads
    // readme.txt once the program has ended and tells what it found here
    // ("missing": the stub ends while the helper still waits to read, which
    // it does only after the run).
    const char* HelperFinds = nullptr;
    bool WithoutDigest = false;  // a stub and an archive joined by hand
    bool Damaged = false;        // one payload byte changed after the digest was taken
    // The user's own TEMP and PATH are set (SetUserTempAndPath).
    bool UserPath = false;
    // The Executable is a document of this text, written beside the
    // installer and named by its full path.
    const char* Document = nullptr;
    // Where a class for the extension .vmdoc is defined that runs
    // foundreadme 7; none when null.
    HKEY ClassIn = nullptr;
  };
  const char* const msiexec = "${FOLDERID_System}\\msiexec.exe";
  // Uninstalling a product that is not there: the system's msiexec.exe ends
  // at once with 1605.
  const char* const notInstalled = "/x {6B1F2C4D-0000-4E8A-9C3B-5D7E1A2B3C4D} /qn";
  const Row rows[] = {
      {.Name = "CreateProcess", .Command = "<CreateProcess>{}</CreateProcess>"},
      {.Name = "CreateProcess, the tail behind --passthrough reaches the command", .Command = "<CreateProcess>{}</CreateProcess>",
       .Arguments = "", .More = L"--passthrough 12", .ExitCode = 12},
      {.Name = "an existing target keeps the user's files", .Command = "<CreateProcess>{}</CreateProcess>",
       .UserFiles = true},
      {.Name = "a failed extraction skips the command and keeps the user's files",
       .Command = "<CreateProcess>{}</CreateProcess>", .Payload = L"crafted-unsafe-parent.7z", .UserFiles = true,
       .ExitCode = 0xEE000001},
      {.Name = "an installer package installs", .Command = "<CreateProcess>{}</CreateProcess>", .Executable = msiexec,
       .Arguments = "/i product.msi /qn", .Payload = L"msi-install.7z", .ExitCode = 0, .Installs = true},
      {.Name = "the passthrough tail reaches msiexec: its log stays in the user's folder",
       .Command = "<CreateProcess>{}</CreateProcess>", .Executable = msiexec, .Arguments = "/i product.msi /qn",
       .Payload = L"msi-install.7z", .More = L"--passthrough /l*v log.txt", .UserFiles = true, .ExitCode = 0,
       .Installs = true, .Leaves = L"log.txt"},
      {.Name = "a package that refuses to install: its exit code, and the folder goes all the same",
       .Command = "<CreateProcess>{}</CreateProcess>", .Executable = msiexec, .Arguments = "/i product.msi /qn",
       .Payload = L"msi-refused.7z", .ExitCode = 1603},
      {.Name = "ShellExecute with Wait", .Command = "<ShellExecute Wait='true'>{}</ShellExecute>"},
      {.Name = "ShellExecute without Wait returns at once and leaves the files",
       .Command = "<ShellExecute>{}</ShellExecute>", .ExitCode = 0, .Unpacked = true},
      {.Name = "elevated: the second instance runs the command in the unpacked folder",
       .Command = "<ShellExecute Wait='true' AsAdmin='true'>{}</ShellExecute>"},
      {.Name = "elevated, through a folder named with the passthrough word",
       .Command = "<ShellExecute Wait='true' AsAdmin='true'>{}</ShellExecute>",
       .Arguments = "", .Target = L"passthrough\\run",
       .More = L"--passthrough 13", .ExitCode = 13},
      {.Name = "a bare msiexec.exe is the system's, never one beside the installer",
       .Command = "<CreateProcess>{}</CreateProcess>", .Executable = "msiexec.exe", .Arguments = notInstalled,
       .ExitCode = 1605, .Planted = true},
      {.Name = "a bare msiexec.exe is the system's in the elevated instance too",
       .Command = "<ShellExecute Wait='true' AsAdmin='true'>{}</ShellExecute>", .Executable = "msiexec.exe",
       .Arguments = notInstalled, .ExitCode = 1605, .Planted = true},
      // An empty or relative --target, or an empty --language, in the
      // command line: the same exit code elevated and not.
      {.Name = "an empty --target", .Command = "<ShellExecute Wait='true'>{}</ShellExecute>",
       .More = L"--target \"\""},
      {.Name = "an empty --target, elevated", .Command = "<ShellExecute Wait='true' AsAdmin='true'>{}</ShellExecute>",
       .More = L"--target \"\""},
      {.Name = "a relative --target and an empty --language", .Command = "<ShellExecute Wait='true'>{}</ShellExecute>",
       .More = L"--target rel --language \"\""},
      {.Name = "a relative --target and an empty --language, elevated",
       .Command = "<ShellExecute Wait='true' AsAdmin='true'>{}</ShellExecute>", .More = L"--target rel --language \"\""},
      {.Name = "files that cannot be deleted stay, quietly, and the command's exit code stands",
       .Command = "<CreateProcess>{}</CreateProcess>", .Target = L"mnt\\run", .Unpacked = true, .ReadOnly = true},
      {.Name = "a helper left running keeps its files with WaitForProcessTree; the exit code is the program's",
       .Command = "<CreateProcess>{}<WaitForProcessTree>true</WaitForProcessTree></CreateProcess>",
       .HelperFinds = "hello\r\n"},
      {.Name = "the same through the shell",
       .Command = "<ShellExecute Wait='true'>{}<WaitForProcessTree>True</WaitForProcessTree></ShellExecute>",
       .HelperFinds = "hello\r\n"},
      {.Name = "the same in the elevated instance",
       .Command = "<ShellExecute Wait='true' AsAdmin='true'>{}<WaitForProcessTree>true</WaitForProcessTree>"
                  "</ShellExecute>",
       .HelperFinds = "hello\r\n"},
      {.Name = "without it the run ends with the program and the helper loses its files",
       .Command = "<CreateProcess>{}<WaitForProcessTree>false</WaitForProcessTree></CreateProcess>",
       .HelperFinds = "missing"},
      {.Name = "one payload byte changed: refused before anything runs, nothing left",
       .Command = "<CreateProcess>{}</CreateProcess>", .UserFiles = true, .ExitCode = 0xEE002008, .Damaged = true},
      {.Name = "one payload byte changed, elevated: the elevated instance refuses it",
       .Command = "<ShellExecute Wait='true' AsAdmin='true'>{}</ShellExecute>", .ExitCode = 0xEE002008,
       .Damaged = true},
      {.Name = "joined by hand without a digest: an unelevated run works",
       .Command = "<CreateProcess>{}</CreateProcess>", .WithoutDigest = true},
      {.Name = "joined by hand without a digest: the elevated instance refuses it",
       .Command = "<ShellExecute Wait='true' AsAdmin='true'>{}</ShellExecute>", .ExitCode = 0xEE002008,
       .WithoutDigest = true},
      {.Name = "joined by hand without a digest and started with --internal 1: refused, nothing made",
       .Command = "<ShellExecute Wait='true' AsAdmin='true'>{}</ShellExecute>", .More = L"--internal 1",
       .ExitCode = 0xEE002008, .WithoutDigest = true},
      {.Name = "a user's file at a payload item's place: nothing is written, nothing runs, the file stays",
       .Command = "<CreateProcess>{}</CreateProcess>", .UserFiles = true, .ExitCode = 0xEE002007,
       .UserFileAtItem = L"readme.txt"},
      {.Name = "elevated, a bare name found only in the user's PATH is not run",
       .Command = "<ShellExecute Wait='true' AsAdmin='true'>{}</ShellExecute>", .Executable = "vmusertool.exe",
       .Arguments = "", .ExitCode = ERROR_FILE_NOT_FOUND, .UserPath = true},
      {.Name = "unelevated, the user's PATH finds it", .Command = "<ShellExecute Wait='true'>{}</ShellExecute>",
       .Executable = "vmusertool.exe", .Arguments = "", .ExitCode = 77, .UserPath = true},
      {.Name = "elevated, a document opens with the class the machine defines for its extension",
       .Command = "<ShellExecute Wait='true' AsAdmin='true'>{}</ShellExecute>", .Executable = "doc.vmdoc",
       .Arguments = "", .Document = "text", .ClassIn = HKEY_LOCAL_MACHINE},
      {.Name = "elevated, a document of a class only the user defines is refused, and nothing runs",
       .Command = "<ShellExecute Wait='true' AsAdmin='true'>{}</ShellExecute>", .Executable = "doc.vmdoc",
       .Arguments = "", .ExitCode = ERROR_NO_ASSOCIATION, .Document = "text", .ClassIn = HKEY_CURRENT_USER},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    ASSERT_NO_FATAL_FAILURE(NewCase());
    const std::wstring target = Folder() + L"\\" + row.Target;
    std::string executable = row.Executable ? row.Executable : velmora::VMUtf16ToUtf8(g_foundReadme);
    std::string commandArguments = row.Arguments;
    std::optional<testing_tools::TmpfsMount> mount;
    if (row.ReadOnly) {
      const std::wstring mountPoint = Folder() + L"\\mnt";
      ASSERT_TRUE(CreateDirectoryW(mountPoint.c_str(), nullptr));
      mount.emplace(mountPoint);
      ASSERT_FALSE(mount->UnixFolder().empty()) << "mounting a tmpfs needs root on the Unix side";
      executable = velmora::VMUtf16ToUtf8(g_unixCommand);
      commandArguments = "7 " + velmora::VMUtf16ToUtf8(testing_tools::HostPathToWindows("/bin/mount")) +
                         " -o remount,ro " + velmora::VMUtf16ToUtf8(mount->UnixFolder());
    }
    if (row.Planted) {
      ASSERT_TRUE(CopyFileW(g_plantedMsiexec.c_str(), (Folder() + L"\\msiexec.exe").c_str(), FALSE));
    }
    UserEnvironment environment;
    if (row.UserPath) {
      ASSERT_NO_FATAL_FAILURE(SetUserTempAndPath(environment, Folder() + L"\\user"));
    }
    if (row.Document) {
      testing_tools::WriteWholeFile(Folder() + L"\\" + velmora::VMUtf8ToUtf16(executable), row.Document);
      executable = velmora::VMUtf16ToUtf8(Folder()) + "\\" + executable;
    }
    const velmora::VMScopeExit removeClass([&] {
      if (row.ClassIn == nullptr) return;
      RegDeleteTreeW(row.ClassIn, L"Software\\Classes\\.vmdoc");
      RegDeleteTreeW(row.ClassIn, L"Software\\Classes\\vmdoc.file");
    });
    if (row.ClassIn != nullptr) {
      const std::wstring progId = L"vmdoc.file";
      const std::wstring open = L"\"" + g_foundReadme + L"\" 7";
      ASSERT_EQ(RegSetKeyValueW(row.ClassIn, L"Software\\Classes\\.vmdoc", nullptr, REG_SZ, progId.c_str(),
                                static_cast<DWORD>((progId.size() + 1) * sizeof(wchar_t))), ERROR_SUCCESS);
      ASSERT_EQ(RegSetKeyValueW(row.ClassIn, L"Software\\Classes\\vmdoc.file\\shell\\open\\command", nullptr, REG_SZ,
                                open.c_str(), static_cast<DWORD>((open.size() + 1) * sizeof(wchar_t))),
                ERROR_SUCCESS);
    }
    const std::wstring helperResult = Folder() + L"\\helper.txt";
    const std::wstring gate = Folder() + L"\\gate";
    const bool gateAfterRun = row.HelperFinds && std::string(row.HelperFinds) == "missing";
    if (row.HelperFinds) {
      executable = velmora::VMUtf16ToUtf8(g_handOver);
      commandArguments = "7 \"" + velmora::VMUtf16ToUtf8(helperResult) + "\" \"" + velmora::VMUtf16ToUtf8(gate) + "\"";
    }
    std::string command = row.Command;
    command.replace(command.find("{}"), 2,
                    "<Executable>" + executable + "</Executable>" +
                        (commandArguments.empty() ? "" : "<Arguments>" + commandArguments + "</Arguments>"));
    EmbedDocument("<SelfExtractor FormatVersionMajor='3' FormatVersionMinor='1'><Launch><Options><Option Id='o'>"
                  "<ProcessorArchitectureSet><ProcessorArchitecture>x86</ProcessorArchitecture>"
                  "<ProcessorArchitecture>x64</ProcessorArchitecture></ProcessorArchitectureSet><Commands>"
                  "<Command Id='run'>" + command + "</Command></Commands></Option></Options></Launch></SelfExtractor>",
                  1033);
    AppendPayload(row.Payload, !row.WithoutDigest, row.Damaged);
    std::set<std::wstring> userFiles;
    if (row.UserFiles) {
      ASSERT_TRUE(CreateDirectoryW(target.c_str(), nullptr));
      for (int i = 0; i < 50; ++i) {
        const std::wstring name = L"mine" + std::to_wstring(i) + L".txt";
        userFiles.insert(name);
        testing_tools::WriteWholeFile(target + L"\\" + name, "mine");
      }
      if (row.UserFileAtItem) {
        userFiles.insert(row.UserFileAtItem);
        testing_tools::WriteWholeFile(target + L"\\" + row.UserFileAtItem, "mine");
      }
    }
    std::wstring arguments = L"--gui off --target \"" + target + L"\"";
    if (!row.More.empty()) arguments += L" " + row.More;
    // The product leaves the prefix before and after, so each run installs it.
    const std::wstring package = g_payloads + L"\\msi-install\\product.msi";
    const auto uninstall = [&] { (void)RunProgram(L"msiexec.exe /x \"" + package + L"\" /qn", Folder(), 120000); };
    if (row.Installs) uninstall();
    // The helper reads once it has seen its program end and the gate is
    // open: while the run lasts, opened by the test as soon as it waits (or
    // has ended without waiting).
    HandedOverHelper helper(helperResult);
    const auto openGate = [&](DWORD) {
      (void)testing_tools::WaitFor([&] { return helper.LastWritten() == "waiting" || helper.Ended(); }, 120000);
      testing_tools::WriteWholeFile(gate, "");
    };
    const auto result = Run(arguments, row.HelperFinds && !gateAfterRun ? openGate : std::function<void(DWORD)>{});
    // A run that waits for the tree has seen the helper's answer written;
    // one that does not has ended while the helper waited for the gate.
    if (gateAfterRun) {
      testing_tools::WriteWholeFile(gate, "");
      const auto answered = [&] {
        const std::string found = helper.LastWritten();
        return !found.empty() && found != "waiting";
      };
      (void)testing_tools::WaitFor([&] { return answered() || helper.Ended(); }, 120000);
      EXPECT_EQ(helper.LastWritten(), row.HelperFinds) << helper.Describe();
    } else if (row.HelperFinds) {
      EXPECT_EQ(helper.LastWritten(), row.HelperFinds) << helper.Describe();
    }
    if (row.Leaves) userFiles.insert(row.Leaves);
    EXPECT_EQ(GetFileAttributesW((Folder() + L"\\planted-program-was-run.txt").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the program planted beside the installer ran";
    if (row.UserPath) {
      EXPECT_EQ(GetFileAttributesW((Folder() + L"\\user\\bin\\planted-program-was-run.txt").c_str()) !=
                    INVALID_FILE_ATTRIBUTES,
                row.ExitCode == 77)
          << "the program in the user's PATH folder";
    }
    EXPECT_EQ(result.ExitCode, row.ExitCode) << std::hex << result.ExitCode;
    EXPECT_TRUE(result.MessageBoxes.empty());
    if (row.Installs) {
      wchar_t installed[MAX_PATH] = {};
      ExpandEnvironmentStringsW(L"%ProgramFiles%\\VmStubExample\\readme.txt", installed, MAX_PATH);
      EXPECT_NE(GetFileAttributesW(installed), INVALID_FILE_ATTRIBUTES) << testing::PrintToString(std::wstring(installed));
      uninstall();
    }
    std::set<std::wstring> left;
    for (const auto& [name, entry] : testing_tools::ListFolder(target)) left.insert(name);
    if (row.Unpacked) {
      EXPECT_TRUE(left.count(L"readme.txt"));
    } else {
      EXPECT_EQ(left, userFiles) << LeftBehind(target);
      // The helper's working folder may stay behind it, empty.
      if (!gateAfterRun) {
        EXPECT_EQ(GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES, row.UserFiles) << LeftBehind(target);
      }
      if (row.UserFileAtItem) {
        EXPECT_EQ(testing_tools::ReadWholeFile(target + L"\\" + row.UserFileAtItem), "mine");
      }
    }
  }
}

std::set<std::wstring> FolderNames(const std::wstring& folder) {
  std::set<std::wstring> names;
  // The listing goes down the tree; its first level is what counts here.
  for (const auto& [name, entry] : testing_tools::ListFolder(folder)) {
    if (name.find(L'\\') == std::wstring::npos) names.insert(name);
  }
  return names;
}

// For a failure message: what is left of `folder`, and whether another
// program still holds it. A working folder, or a handle without delete
// sharing, refuses the open that a deletion needs.
std::string LeftBehind(const std::wstring& folder) {
  const std::string name = velmora::VMUtf16ToUtf8(folder);
  if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) return "nothing is left of " + name;
  std::string text = name + " is left, holding " + testing::PrintToString(FolderNames(folder));
  const HANDLE held = CreateFileW(folder.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (held != INVALID_HANDLE_VALUE) {
    CloseHandle(held);
    return text + "; nothing holds it now";
  }
  const DWORD error = GetLastError();
  text += "; opening it for deletion fails with error " + std::to_string(error);
  if (error == ERROR_SHARING_VIOLATION) text += ": another program holds it, as its working folder or open";
  return text;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line.substr(0, line.find('\r')));
  return lines;
}

// The value of `name` in the output of cmd's `set`, or nullopt.
std::optional<std::string> SetValue(const std::string& listing, const char* name) {
  const std::string prefix = std::string(name) + "=";
  for (const std::string& line : Lines(listing)) {
    if (_strnicmp(line.c_str(), prefix.c_str(), prefix.size()) == 0) return line.substr(prefix.size());
  }
  return std::nullopt;
}

// An elevated Command runs in a folder that the elevated instance made for
// itself in the Windows temporary folder, on the payload of the file that was
// started: the first instance unpacks nothing, a --target folder with a
// replaced payload file is never looked at, and nothing of the run is left.
// It sees the system's environment, with TEMP and TMP naming its folder,
// whatever the user set for himself.
TEST_F(StubProcess, ElevatedCommandRunsWhatTheInstallerHolds) {
  wchar_t windows[MAX_PATH] = {};
  ASSERT_GT(GetSystemWindowsDirectoryW(windows, MAX_PATH), 0u);
  const std::wstring systemTemp = std::wstring(windows) + L"\\Temp";

  struct Row {
    const char* Name;
    bool AsAdmin = true;
    bool Planted = false;          // started with --internal 1 and a --target of planted files
    bool ThroughLink = false;      // started through a link to the installer's folder
    bool UserEnvironment = false;  // the user's own TEMP and PATH (SetUserTempAndPath)
    // Started through the link with --internal 1, as the first instance
    // relaunches it; while the process is made but not yet running, the link
    // is turned to a folder holding the same image with another payload.
    bool Retargeted = false;
    std::uint32_t ExitCode = 7;
  };
  const Row rows[] = {
      {.Name = "started as a user would"},
      {.Name = "started with --internal 1 and a planted --target", .Planted = true},
      {.Name = "started through a link to its folder", .ThroughLink = true},
      {.Name = "the link turned to another payload before the elevated instance runs: refused, nothing runs",
       .ThroughLink = true, .Retargeted = true, .ExitCode = 0xEE002008},
      {.Name = "the user's own TEMP and PATH do not reach the elevated Command", .UserEnvironment = true},
      {.Name = "the same Command unelevated keeps them", .AsAdmin = false, .UserEnvironment = true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    ASSERT_NO_FATAL_FAILURE(NewCase());
    UserEnvironment environment;
    if (row.UserEnvironment) {
      ASSERT_NO_FATAL_FAILURE(SetUserTempAndPath(environment, Folder() + L"\\user"));
    }
    wchar_t userTempText[MAX_PATH] = {};
    ASSERT_GT(GetTempPathW(MAX_PATH, userTempText), 0u);
    std::wstring userTemp = userTempText;
    if (userTemp.back() == L'\\') userTemp.pop_back();
    const std::string result = velmora::VMUtf16ToUtf8(Folder() + L"\\result.txt");
    const std::string listing = velmora::VMUtf16ToUtf8(Folder() + L"\\temp.txt");
    const std::string variables = velmora::VMUtf16ToUtf8(Folder() + L"\\variables.txt");
    // The payload's text, the working folder and %TEMP% as the stub expands
    // it; the Command's variables; the user's temporary folder while the
    // Command runs; and a bare name that only the user's PATH finds. The run
    // waits for the Command's whole tree: cmd's console host, which Wine
    // starts in the run's folder, is part of it and may end seconds after
    // cmd on an emulated machine, and the folder can go only once it has.
    EmbedDocument("<SelfExtractor FormatVersionMajor='3' FormatVersionMinor='1'><Launch><Options><Option Id='o'>"
                  "<ProcessorArchitectureSet><ProcessorArchitecture>x86</ProcessorArchitecture>"
                  "<ProcessorArchitecture>x64</ProcessorArchitecture></ProcessorArchitectureSet><Commands>"
                  "<Command Id='run'><ShellExecute Wait='true' AsAdmin='" + std::string(row.AsAdmin ? "true" : "false") +
                  "'><Executable>${FOLDERID_System}\\cmd.exe</Executable><Arguments>/c type readme.txt&gt; \"" + result +
                  "\" &amp; cd&gt;&gt; \"" + result + "\" &amp; echo %TEMP%&gt;&gt; \"" + result + "\" &amp; set&gt; \"" +
                  variables + "\" &amp; dir /b \"" + velmora::VMUtf16ToUtf8(userTemp) + "\"&gt; \"" + listing +
                  "\" &amp; vmusertool &amp; exit 7</Arguments><WaitForProcessTree>true</WaitForProcessTree>"
                  "</ShellExecute></Command></Commands></Option></Options>"
                  "</Launch></SelfExtractor>",
                  1033);
    AppendPayload(L"tree.7z");
    const std::wstring plantedFolder = Folder() + L"\\planted";
    std::wstring arguments = L"--gui off";
    if (row.Planted) {
      ASSERT_TRUE(CreateDirectoryW(plantedFolder.c_str(), nullptr));
      testing_tools::WriteWholeFile(plantedFolder + L"\\readme.txt", "planted\r\n");
      ASSERT_TRUE(CopyFileW(g_plant.c_str(), (plantedFolder + L"\\version.dll").c_str(), FALSE));
      arguments += L" --internal 1 --target \"" + plantedFolder + L"\"";
    }
    if (row.ThroughLink) {
      ASSERT_TRUE(CreateDirectoryW((Folder() + L"\\real").c_str(), nullptr));
      ASSERT_TRUE(MoveFileW(installer_.c_str(), (Folder() + L"\\real\\setup.exe").c_str()));
      ASSERT_TRUE(testing_tools::MakeSymbolicLink(Folder() + L"\\real", Folder() + L"\\link"));
      installer_ = Folder() + L"\\link\\setup.exe";
    }
    std::function<void()> whileSuspended;
    if (row.Retargeted) {
      // The genuine image with one byte of its payload changed: what a
      // same-user program would put behind the path it controls.
      const std::wstring other = Folder() + L"\\other";
      ASSERT_TRUE(CreateDirectoryW(other.c_str(), nullptr));
      std::string image = testing_tools::ReadWholeFile(Folder() + L"\\real\\setup.exe");
      const std::size_t payloadSize = testing_tools::ReadWholeFile(g_payloads + L"\\tree.7z").size();
      ASSERT_GT(image.size(), payloadSize);
      image[image.size() - payloadSize / 2] ^= 0x01;
      testing_tools::WriteWholeFile(other + L"\\setup.exe", image);
      arguments += L" --internal 1";
      whileSuspended = [this, other] { ASSERT_TRUE(testing_tools::MakeSymbolicLink(other, Folder() + L"\\link")); };
    }
    const std::set<std::wstring> userTempBefore = FolderNames(userTemp);
    const std::set<std::wstring> systemTempBefore = FolderNames(systemTemp);

    const auto run = Run(arguments, {}, whileSuspended);
    EXPECT_EQ(run.ExitCode, row.ExitCode) << std::hex << run.ExitCode;
    if (row.ExitCode != 7) {
      EXPECT_EQ(GetFileAttributesW((Folder() + L"\\result.txt").c_str()), INVALID_FILE_ATTRIBUTES)
          << "the Command ran";
      EXPECT_EQ(FolderNames(userTemp), userTempBefore);
      EXPECT_EQ(FolderNames(systemTemp), systemTempBefore) << "the elevated instance left its folder";
      continue;
    }
    const auto lines = Lines(testing_tools::ReadWholeFile(Folder() + L"\\result.txt"));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "hello") << "the payload's own text";
    const std::string folder = lines[1];
    const std::string under = velmora::VMUtf16ToUtf8(row.AsAdmin ? systemTemp : userTemp) + "\\{";
    EXPECT_EQ(_strnicmp(folder.c_str(), under.c_str(), under.size()), 0) << folder;
    EXPECT_EQ(GetFileAttributesW(velmora::VMUtf8ToUtf16(folder).c_str()), INVALID_FILE_ATTRIBUTES)
        << "the run's folder is gone: " << LeftBehind(velmora::VMUtf8ToUtf16(folder));
    const std::string temp = row.AsAdmin ? folder : velmora::VMUtf16ToUtf8(userTemp);
    // cmd keeps the blank before the next command in what echo writes.
    EXPECT_EQ(lines[2].substr(0, lines[2].find_last_not_of(' ') + 1), temp) << "%TEMP% in the Arguments";
    const std::string seen = testing_tools::ReadWholeFile(Folder() + L"\\variables.txt");
    EXPECT_EQ(SetValue(seen, "TEMP"), temp);
    EXPECT_EQ(SetValue(seen, "TMP"), temp);
    const std::string userBin = velmora::VMUtf16ToUtf8(Folder() + L"\\user\\bin");
    EXPECT_EQ(SetValue(seen, "PATH").value_or("").find(userBin) != std::string::npos,
              row.UserEnvironment && !row.AsAdmin)
        << "the user's PATH folder";
    EXPECT_EQ(GetFileAttributesW((Folder() + L"\\user\\bin\\planted-program-was-run.txt").c_str()) !=
                  INVALID_FILE_ATTRIBUTES,
              row.UserEnvironment && !row.AsAdmin)
        << "the program only the user's PATH finds";

    if (row.AsAdmin) {
      std::set<std::wstring> duringRun;
      for (const std::string& name : Lines(testing_tools::ReadWholeFile(Folder() + L"\\temp.txt"))) {
        if (!name.empty()) duringRun.insert(velmora::VMUtf8ToUtf16(name));
      }
      EXPECT_EQ(duringRun, userTempBefore) << "the first instance unpacked nothing into %TEMP%";
    }
    EXPECT_EQ(FolderNames(userTemp), userTempBefore);
    EXPECT_EQ(FolderNames(systemTemp), systemTempBefore);
    if (row.Planted) {
      EXPECT_EQ(testing_tools::ReadWholeFile(plantedFolder + L"\\readme.txt"), "planted\r\n");
      EXPECT_EQ(FolderNames(plantedFolder), (std::set<std::wstring>{L"readme.txt", L"version.dll"}));
    }
  }
}

// The Option and the Command a real launch stub runs, by the user's display
// language (CTest runs this case once per language, see tests/CMakeLists.txt),
// the command line and the machine. Every Command exits with its own code.
TEST_F(StubProcess, LaunchChoiceByUserLanguage) {
  const char* wanted = std::getenv("VM_TEST_USER_LANGUAGE");
  if (wanted == nullptr) GTEST_SKIP() << "runs in the entries that set the user's language";
  const std::wstring user = velmora::VMUtf8ToUtf16(wanted);
  wchar_t seen[LOCALE_NAME_MAX_LENGTH] = {};
  LCIDToLocaleName(GetUserDefaultUILanguage(), seen, LOCALE_NAME_MAX_LENGTH, 0);
  ASSERT_EQ(std::wstring(seen), user) << "Wine did not take the language from LANG";
  SYSTEM_INFO machine{};
  GetNativeSystemInfo(&machine);
  const bool x86 = machine.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_INTEL;

  // An Option: its Id, architectures and language tag (none: language-neutral);
  // its Commands "repair" (the default) and "install" exit with base + 1 and
  // base + 2.
  struct OptionSpec {
    const char* Id;
    const char* Architectures;
    const char* Tag;
    int Base;
  };
  const auto document = [](const std::vector<OptionSpec>& options) {
    std::string text = "<SelfExtractor FormatVersionMajor='3' FormatVersionMinor='1'><Launch><Options>";
    for (const OptionSpec& option : options) {
      text += std::string("<Option Id='") + option.Id + "'><ProcessorArchitectureSet>";
      for (const char* architecture : {"x86", "x64"}) {
        if (std::strstr(option.Architectures, architecture) != nullptr) {
          text += std::string("<ProcessorArchitecture>") + architecture + "</ProcessorArchitecture>";
        }
      }
      text += "</ProcessorArchitectureSet>";
      if (*option.Tag != 0) text += std::string("<LanguageTagSet><LanguageTag>") + option.Tag + "</LanguageTag></LanguageTagSet>";
      text += "<Commands>";
      int code = option.Base;
      for (const char* command : {"repair", "install"}) {
        text += std::string("<Command Id='") + command + "'><CreateProcess><Executable>cmd.exe</Executable><Arguments>/c exit " +
                std::to_string(++code) + "</Arguments></CreateProcess></Command>";
      }
      text += "<DefaultCommand>repair</DefaultCommand></Commands></Option>";
    }
    return text + "</Options></Launch></SelfExtractor>";
  };
  const std::string byLanguage = document({{"en", "x86 x64", "en-US", 10}, {"de", "x86 x64", "de-DE", 20}});
  // Languages on x64 only; an x86 machine takes the one neutral Option.
  const std::string neutralX86 =
      document({{"x86", "x86", "", 30}, {"en", "x64", "en-US", 10}, {"de", "x64", "de-DE", 20}});
  struct Row {
    const char* Name;
    const wchar_t* User;
    const std::string& Document;
    const wchar_t* Arguments;
    std::uint32_t ExitCode;
    std::uint32_t OnX86;  // on an x86 machine, when other than ExitCode
  };
  const Row rows[] = {
      {"a German user gets German", L"de-DE", byLanguage, L"", 21, 21},
      {"an Austrian user gets German by language alone", L"de-AT", byLanguage, L"", 21, 21},
      {"a French user gets English when French is not offered", L"fr-FR", byLanguage, L"", 11, 11},
      {"--language overrides the user's language", L"fr-FR", byLanguage, L"--language de-DE", 21, 21},
      {"--command picks another Command of the chosen Option", L"de-AT", byLanguage, L"--command install", 22, 22},
      {"the neutral x86 Option, or the language on x64", L"de-DE", neutralX86, L"", 21, 31},
      {"--command with the neutral x86 Option, or with English on x64", L"fr-FR", neutralX86, L"--command install", 12,
       32},
  };
  int ran = 0;
  for (const Row& row : rows) {
    if (user != row.User) continue;
    SCOPED_TRACE(row.Name);
    ++ran;
    ASSERT_NO_FATAL_FAILURE(NewCase());
    EmbedDocument(row.Document, 1033);
    // Plain ASCII names: without the user's locale on the Unix side, Wine
    // cannot name files in other characters.
    AppendPayload(L"msi-install.7z");
    const auto result = Run(L"--gui off --target \"" + Folder() + L"\\run\" " + row.Arguments);
    EXPECT_EQ(result.ExitCode, x86 ? row.OnX86 : row.ExitCode) << std::hex << result.ExitCode;
    EXPECT_TRUE(result.MessageBoxes.empty());
  }
  EXPECT_GT(ran, 0) << "no row for this user";
}

// Whether any window of the process is visible, polled until it exits.
bool ShowsAWindowUntilItEnds(DWORD processId) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
  if (process == nullptr) return false;
  struct Search {
    DWORD ProcessId;
    bool Seen;
  } search{processId, false};
  do {
    EnumWindows(
        [](HWND window, LPARAM data) WINAPI -> BOOL {
          auto* search = reinterpret_cast<Search*>(data);
          DWORD owner = 0;
          GetWindowThreadProcessId(window, &owner);
          if (owner == search->ProcessId && IsWindowVisible(window)) search->Seen = true;
          return !search->Seen;
        },
        reinterpret_cast<LPARAM>(&search));
  } while (!search.Seen && WaitForSingleObject(process, 20) == WAIT_TIMEOUT);
  CloseHandle(process);
  return search.Seen;
}

TEST_F(StubProcess, ExtractStubDialogsWithAPayload) {
  struct Row {
    const char* Name;
    const char* Sections;        // inside Extract
    const wchar_t* Arguments;    // {} stands for the configured folder
    bool FolderDialog;           // comes up; the test types the folder and presses Enter
    bool AnyWindow;              // some window of the stub shows during the run
  };
  const Row rows[] = {
      {"Enter accepts the typed folder", "", L"", true, true},
      {"--gui on shows the folder dialog the document switched off",
       "<FolderSelectionDialog><Enabled>false</Enabled></FolderSelectionDialog>", L"--gui on", true, true},
      {"--gui off suppresses the folder dialog the document asks for", "", L"--gui off", false, false},
      {"no progress display and no folder dialog: no window at all",
       "<FolderSelectionDialog><Enabled>false</Enabled></FolderSelectionDialog>"
       "<ProgressDialog><Enabled>false</Enabled></ProgressDialog>",
       L"", false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    ASSERT_NO_FATAL_FAILURE(NewCase());
    const std::wstring configured = Folder() + L"\\configured";
    const std::wstring typed = Folder() + L"\\typed";
    std::string document = "<SelfExtractor FormatVersionMajor='3' FormatVersionMinor='1'><Title>Example</Title>"
                           "<Extract><TargetPath>configured</TargetPath>" +
                           std::string(row.Sections) + "</Extract></SelfExtractor>";
    EmbedDocument(document, 1033);
    AppendPayload(L"tree.7z");
    std::wstring prefilled;
    bool anyWindow = false;
    const auto result = Run(row.Arguments, [&](DWORD process) {
      if (row.FolderDialog) {
        HWND dialog = testing_tools::WaitForDialog(process, kTargetPathId);
        if (dialog == nullptr) return;
        anyWindow = true;
        HWND edit = GetDlgItem(dialog, kTargetPathId);
        prefilled = testing_tools::WindowText(edit);
        SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
        testing_tools::PressKey(dialog, VK_RETURN);
        return;
      }
      anyWindow = ShowsAWindowUntilItEnds(process);
    });
    EXPECT_EQ(result.ExitCode, 0u) << std::hex << result.ExitCode;
    EXPECT_TRUE(result.MessageBoxes.empty());
    EXPECT_EQ(anyWindow, row.AnyWindow);
    const std::wstring unpackedInto = row.FolderDialog ? typed : configured;
    if (row.FolderDialog) {
      EXPECT_EQ(prefilled, configured) << "the dialog opens with the configured folder";
    }
    EXPECT_NE(GetFileAttributesW((unpackedInto + L"\\readme.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    testing_tools::RemoveTree(configured);
    testing_tools::RemoveTree(typed);
  }
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::wstring Lower(std::wstring text) {
  std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towlower(c); });
  return text;
}

// The libraries a process may load before its program can restrict the
// search, because Windows always takes them from the system folder. Wine's
// own builds of these import only each other, so Wine loads nothing else
// before the stub's entry point either.
const std::set<std::wstring> kSystemFolderOnly = {
    L"ntdll.dll",       // mapped into every process by the kernel
    L"kernelbase.dll",  // loaded into every process before its program's imports
    L"kernel32.dll",
    L"msvcrt.dll",      // a known DLL: mapped from the system folder, its imports too
};

// The libraries a program named `program` loaded, by lower-case name, with
// the path each came from, read from a trace of Wine's loaddll and pid
// channels; other processes of the trace (a launched command, Wine's own) are
// left out, and so are programs.
std::map<std::wstring, std::wstring> LoadedLibraries(const std::string& trace, const std::wstring& program) {
  const std::wstring text(trace.begin(), trace.end());
  std::wstring processId;
  std::map<std::wstring, std::wstring> libraries;
  std::size_t start = 0;
  for (std::size_t end = 0; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
    const std::wstring line = text.substr(start, end - start);
    const std::size_t quote = line.find(L"Loaded L\"");
    if (quote == std::wstring::npos || line.find(L":trace:loaddll:") == std::wstring::npos) continue;
    const std::wstring path = line.substr(quote + 9, line.find(L'"', quote + 9) - quote - 9);
    const std::wstring name = Lower(path.substr(path.find_last_of(L'\\') + 1));
    if (processId.empty() && name == Lower(program)) processId = line.substr(0, line.find(L':') + 1);
    if (!processId.empty() && line.starts_with(processId) && !name.ends_with(L".exe")) libraries[name] = Lower(path);
  }
  return libraries;
}

// The DLLs a PE file imports statically, in lower case.
std::set<std::wstring> StaticImports(const std::wstring& file) {
  std::set<std::wstring> names;
  HMODULE image = LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (image == nullptr) return names;
  // Mapped as an image, with the low bits of the handle marking it as such.
  const auto* base = reinterpret_cast<const char*>(reinterpret_cast<ULONG_PTR>(image) & ~ULONG_PTR{3});
  const auto* headers =
      reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       imports.VirtualAddress != 0 && entry->Name != 0; ++entry) {
    const std::string name = base + entry->Name;
    names.insert(Lower(std::wstring(name.begin(), name.end())));
  }
  FreeLibrary(image);
  return names;
}

// An installer in a download folder beside libraries named like every one it
// loads, each of which leaves a marker when loaded: the stub imports only
// what Windows takes from the system folder and binds everything else once
// it has restricted the search, so no marker appears.
TEST_F(StubProcess, NoLibraryBesideTheInstallerIsLoaded) {
  EXPECT_EQ(StaticImports(g_stub), (std::set<std::wstring>{L"kernel32.dll", L"msvcrt.dll"}));

  struct Row {
    const char* Name;
    const char* Document;  // nullptr: none
    const wchar_t* Arguments;
  };
  const Row rows[] = {
      {"an extract installer, quiet", nullptr, L"--gui off --target out"},
      {"a launch installer", "<SelfExtractor FormatVersionMajor='3' FormatVersionMinor='1'><Launch><Options>"
       "<Option Id='o'><ProcessorArchitectureSet><ProcessorArchitecture>x86</ProcessorArchitecture>"
       "<ProcessorArchitecture>x64</ProcessorArchitecture></ProcessorArchitectureSet><Commands><Command Id='run'>"
       "<CreateProcess><Executable>cmd.exe</Executable><Arguments>/c exit 0</Arguments></CreateProcess></Command>"
       "</Commands></Option></Options></Launch></SelfExtractor>", L"--gui off"},
  };
  // Named apart from the other cases' installers, which the overrides below
  // must not reach.
  const std::wstring program = L"vm-planted-setup.exe";
  std::size_t plantedCount = 0, loadedCount = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    ASSERT_NO_FATAL_FAILURE(NewCase());
    if (row.Document != nullptr) EmbedDocument(row.Document, 1033);
    AppendPayload(L"tree.7z");
    const std::wstring installer = *folder_ / program;
    ASSERT_TRUE(MoveFileW(installer_.c_str(), installer.c_str()));

    // What the installer loads when nothing is planted. Wine writes its debug
    // channels to the Unix standard error stream, which a Windows parent
    // cannot redirect, so a Unix shell starts this run.
    const std::wstring trace = *folder_ / L"trace.txt";
    const std::wstring script = *folder_ / L"trace.sh";
    testing_tools::WriteWholeFile(script, Narrow(L"cd '" + testing_tools::UnixPath(Folder()) +
                                                 L"' && WINEDEBUG=+pid,+loaddll exec wine '" + installer + L"' " +
                                                 row.Arguments + L" 2>'" + testing_tools::UnixPath(trace) + L"'\n"));
    ASSERT_TRUE(testing_tools::RunUnix(testing_tools::HostPathToWindows("/bin/sh"), {testing_tools::UnixPath(script)}))
        << "the installer ends with 0";
    auto loaded = LoadedLibraries(testing_tools::ReadWholeFile(trace), program);
    ASSERT_TRUE(loaded.count(L"user32.dll")) << "the trace was read";
    EXPECT_NE(loaded[L"comctl32.dll"].find(L"\\winsxs\\"), std::wstring::npos)
        << "the common controls 6 that the manifest asks for, not the system folder's";
    std::vector<std::wstring> planted;
    for (const auto& [name, path] : loaded) {
      if (kSystemFolderOnly.count(name) == 0) planted.push_back(name);
    }

    for (const std::wstring& name : planted) ASSERT_TRUE(CopyFileW(g_plant.c_str(), (*folder_ / name).c_str(), FALSE));
    const testing_tools::PreferNativeLibraries overrides(program, planted);
    ASSERT_TRUE(overrides.Ok());
    const auto result = RunProgram(L"\"" + installer + L"\" " + row.Arguments, Folder(), 120000);
    EXPECT_EQ(result.ExitCode, 0u) << std::hex << result.ExitCode;
    std::vector<std::wstring> markers;
    for (const auto& [name, entry] : testing_tools::ListFolder(Folder())) {
      if (Lower(name).ends_with(L"-was-loaded.txt")) markers.push_back(name);
    }
    EXPECT_EQ(markers, std::vector<std::wstring>{}) << "of " << planted.size() << " planted";
    plantedCount += planted.size();
    loadedCount += markers.size();
  }
  std::printf("harden: planted-libraries: cases %zu, planted %zu, loaded %zu, static imports %zu\n", std::size(rows),
              plantedCount, loadedCount, StaticImports(g_stub).size());
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    testing_tools::PathArgument(argument, "stub", g_stub);
    testing_tools::PathArgument(argument, "payloads", g_payloads);
    testing_tools::PathArgument(argument, "plant", g_plant);
    testing_tools::PathArgument(argument, "unixcommand", g_unixCommand);
    testing_tools::PathArgument(argument, "handover", g_handOver);
    testing_tools::PathArgument(argument, "planted-msiexec", g_plantedMsiexec);
    testing_tools::PathArgument(argument, "foundreadme", g_foundReadme);
  }
  if (g_stub.empty() || g_payloads.empty() || g_plant.empty() || g_unixCommand.empty() || g_handOver.empty() ||
      g_plantedMsiexec.empty() || g_foundReadme.empty()) {
    std::fprintf(stderr, "usage: stub_process_tests --stub=PATH --payloads=FOLDER --plant=PATH --unixcommand=PATH "
                         "--handover=PATH --planted-msiexec=PATH --foundreadme=PATH\n");
    return 2;
  }
  return RUN_ALL_TESTS();
}
