// SPDX-License-Identifier: Apache-2.0
// What the run sequence of a launch stub chooses before any task runs: the
// language, the Option, the Command and the task list built from them.
//
// The user's display language is the one Wine was started with (LANG and
// LC_ALL on the Unix side); CTest runs this program once per language and
// names it in VM_TEST_USER_LANGUAGE. Each run takes the rows of its user.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/cmd_line.h"
#include "config/cfg.h"
#include "elevation/execute_elevated_command.h"
#include "elevation/relaunch_elevated.h"
#include "support/vm_utf_convert.h"
#include "tasks/delete_extracted_files.h"
#include "tasks/execute_launch_command.h"
#include "tasks/extract_files.h"
#include "tests/tools/window_driver.h"
#include "ui/resource_ids.h"

namespace {

using velmora::ProcessorArchitecture;
using velmora::VMStatus;
using Gui = CmdLine::SFXGuiMode;

struct OptionSpec {
  const char* Id;
  std::vector<const char*> Architectures;
  std::vector<const char*> Tags;  // none: language-neutral
};

std::string Elements(const char* name, const std::vector<const char*>& values) {
  std::string text;
  for (const char* value : values) text += std::string("<") + name + ">" + value + "</" + name + ">";
  return text;
}

// Every Option offers the Commands "Install" and "repair" (the default);
// each runs "<option>-<command>.exe", so the task shows what was chosen.
std::string Document(const std::vector<OptionSpec>& options, bool languageDialog) {
  std::string text = "<SelfExtractor FormatVersionMajor='3' FormatVersionMinor='1'><Launch>";
  if (languageDialog) text += "<LanguageSelectionDialog><Enabled>true</Enabled></LanguageSelectionDialog>";
  text += "<Options>";
  for (const OptionSpec& option : options) {
    text += std::string("<Option Id='") + option.Id + "'><ProcessorArchitectureSet>" +
            Elements("ProcessorArchitecture", option.Architectures) + "</ProcessorArchitectureSet>";
    if (!option.Tags.empty()) text += "<LanguageTagSet>" + Elements("LanguageTag", option.Tags) + "</LanguageTagSet>";
    text += "<Commands>";
    for (const char* command : {"Install", "repair"}) {
      text += std::string("<Command Id='") + command + "'><CreateProcess><Executable>" + option.Id + "-" + command +
              ".exe</Executable></CreateProcess></Command>";
    }
    text += "<DefaultCommand>repair</DefaultCommand></Commands></Option>";
  }
  return text + "</Options></Launch></SelfExtractor>";
}

// One Option per tag, all for both machines.
std::vector<OptionSpec> OnePerTag(std::vector<const char*> tags) {
  std::vector<OptionSpec> options;
  for (const char* tag : tags) options.push_back({tag, {"x86", "x64"}, {tag}});
  return options;
}

std::wstring UserLanguage() {
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  LCIDToLocaleName(GetUserDefaultUILanguage(), name, LOCALE_NAME_MAX_LENGTH, 0);
  return name;
}

class LaunchChoice : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* wanted = std::getenv("VM_TEST_USER_LANGUAGE");
    ASSERT_NE(wanted, nullptr) << "run through CTest, which sets the user's language";
    user_ = velmora::VMUtf8ToUtf16(wanted);
    ASSERT_EQ(UserLanguage(), user_) << "Wine did not take the language from LANG";
  }
  void TearDown() override { CmdLine::Current() = {}; }
  std::wstring user_;
};

TEST_F(LaunchChoice, LanguageOptionAndCommand) {
  enum class Answer { None, Enter, PickFirst };  // what the user does in the language dialog
  struct Row {
    const char* Name;
    const wchar_t* User;
    std::vector<OptionSpec> Options;
    ProcessorArchitecture Machine = ProcessorArchitecture::X64;
    bool DialogEnabled = false;
    Gui GuiMode = Gui::Off;
    const wchar_t* Language = L"";  // --language
    const wchar_t* Command = L"";   // --command
    Answer Dialog = Answer::None;   // None: the dialog must not show
    VMStatus Status = 0;
    const wchar_t* Tag = L"";         // the chosen tag, on the launch task
    const wchar_t* Executable = L"";  // the chosen Option and Command
  };
  const auto enDe = OnePerTag({"en-US", "de-DE"});
  // x64 Options carry languages, the only x86 Option none.
  const std::vector<OptionSpec> neutralX86 = {
      {"x86", {"x86"}, {}}, {"en", {"x64"}, {"en-US"}}, {"de", {"x64"}, {"de-DE"}}};
  const Row rows[] = {
      {.Name = "a German user gets German", .User = L"de-DE", .Options = enDe, .Tag = L"de-DE",
       .Executable = L"de-DE-repair.exe"},
      {.Name = "an Austrian user gets German by language alone", .User = L"de-AT", .Options = enDe, .Tag = L"de-DE",
       .Executable = L"de-DE-repair.exe"},
      {.Name = "a French user gets English when French is not offered", .User = L"fr-FR", .Options = enDe,
       .Tag = L"en-US", .Executable = L"en-US-repair.exe"},
      {.Name = "a French user with only German offered and no dialog gets nothing", .User = L"fr-FR",
       .Options = OnePerTag({"de-DE"}), .Status = velmora::status::NoUniqueMatch},
      {.Name = "a bare en beats en-GB for a French user (en-GB written first)", .User = L"fr-FR",
       .Options = OnePerTag({"en-GB", "en"}), .Tag = L"en", .Executable = L"en-repair.exe"},
      {.Name = "a bare en beats en-GB for a French user (en written first)", .User = L"fr-FR",
       .Options = OnePerTag({"en", "en-GB"}), .Tag = L"en", .Executable = L"en-repair.exe"},
      {.Name = "lower-case tags still match a US user by language", .User = L"en-US",
       .Options = OnePerTag({"de-de", "en-us"}), .Tag = L"en-us", .Executable = L"en-us-repair.exe"},
      {.Name = "a lower-case region never matches by region: the first English entry wins", .User = L"en-US",
       .Options = OnePerTag({"en-us", "en-GB"}), .Tag = L"en-GB", .Executable = L"en-GB-repair.exe"},
      {.Name = "a tag Windows does not know is left out", .User = L"en-US", .Options = OnePerTag({"xx-YY", "en-US"}),
       .Tag = L"en-US", .Executable = L"en-US-repair.exe"},
      {.Name = "a tag Windows does not know, alone", .User = L"en-US", .Options = OnePerTag({"xx-YY"}),
       .Status = velmora::status::Failed},
      {.Name = "--language overrides the user's language and the dialog", .User = L"de-DE", .Options = enDe,
       .DialogEnabled = true, .GuiMode = Gui::NotGiven, .Language = L"en-US", .Tag = L"en-US",
       .Executable = L"en-US-repair.exe"},
      {.Name = "--language in other letter case", .User = L"de-DE", .Options = enDe, .Language = L"EN-US",
       .Status = 0xEE002003},
      {.Name = "--command in other letter case than stored", .User = L"de-DE", .Options = enDe,
       .Command = L"Install", .Status = 0xEE002003},
      {.Name = "--command as stored", .User = L"de-DE", .Options = enDe, .Command = L"install", .Tag = L"de-DE",
       .Executable = L"de-DE-Install.exe"},
      {.Name = "x86 machine: the neutral Option without a language step", .User = L"de-DE", .Options = neutralX86,
       .Machine = ProcessorArchitecture::X86, .DialogEnabled = true, .GuiMode = Gui::On,
       .Executable = L"x86-repair.exe"},
      {.Name = "x64 machine: the language is offered", .User = L"de-DE", .Options = neutralX86,
       .GuiMode = Gui::On, .Dialog = Answer::Enter, .Tag = L"de-DE", .Executable = L"de-repair.exe"},
      {.Name = "a document that enables the dialog shows it", .User = L"de-DE", .Options = enDe,
       .DialogEnabled = true, .GuiMode = Gui::NotGiven, .Dialog = Answer::PickFirst, .Tag = L"en-US",
       .Executable = L"en-US-repair.exe"},
      {.Name = "--gui on forces the dialog", .User = L"fr-FR", .Options = OnePerTag({"de-DE"}),
       .GuiMode = Gui::On, .Dialog = Answer::Enter, .Tag = L"de-DE", .Executable = L"de-DE-repair.exe"},
      {.Name = "--gui off never shows it", .User = L"de-AT", .Options = enDe, .DialogEnabled = true,
       .Tag = L"de-DE", .Executable = L"de-DE-repair.exe"},
  };
  int ran = 0;
  for (const Row& row : rows) {
    if (user_ != row.User) continue;
    SCOPED_TRACE(row.Name);
    ++ran;
    ASSERT_EQ(ParseConfiguration(Document(row.Options, row.DialogEnabled).c_str(), TheCfg(), row.Machine), 0u);
    CmdLine::Current() = {};
    CmdLine::Current().GuiMode = row.GuiMode;
    CmdLine::Current().LanguageTag = row.Language;
    CmdLine::Current().CommandId = row.Command;

    App app(GetModuleHandleW(nullptr));
    volatile LONG done = 0;
    bool shown = false;
    VMStatus result = 0;
    {
      testing_tools::BackgroundThread user([&] {
        while (InterlockedCompareExchange(&done, 0, 0) == 0) {
          if (HWND dialog = testing_tools::FindDialog(GetCurrentProcessId(), IDC_LANGUAGE_LIST)) {
            shown = true;
            if (row.Dialog == Answer::PickFirst) {
              HWND list = GetDlgItem(dialog, IDC_LANGUAGE_LIST);
              SendMessageW(list, CB_SETCURSEL, 0, 0);
              SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_LANGUAGE_LIST, CBN_SELCHANGE),
                           reinterpret_cast<LPARAM>(list));
            }
            testing_tools::PressKey(dialog, VK_RETURN);
            (void)testing_tools::WaitFor([&] { return !IsWindow(dialog); }, 5000);
          }
          Sleep(20);
        }
      });
      result = app.BuildTaskList();
      InterlockedExchange(&done, 1);
    }
    EXPECT_EQ(shown, row.Dialog != Answer::None);
    EXPECT_EQ(result, row.Status) << std::hex << result;
    if (row.Status != 0) {
      // The choice failed before the list was built.
      EXPECT_TRUE(app.Tasks().empty()) << "nothing runs after a failed choice";
      continue;
    }
    ASSERT_EQ(app.Tasks().size(), 3u);
    const auto* extract = dynamic_cast<const ExtractFiles*>(app.Tasks()[0].get());
    const auto* launch = dynamic_cast<const ExecuteLaunchCommand*>(app.Tasks()[1].get());
    ASSERT_NE(extract, nullptr);
    ASSERT_NE(launch, nullptr);
    EXPECT_NE(dynamic_cast<const DeleteExtractedFiles*>(app.Tasks()[2].get()), nullptr);
    EXPECT_EQ(launch->LanguageTag, row.Tag);
    EXPECT_EQ(launch->Executable, row.Executable);
  }
  EXPECT_GT(ran, 0) << "no row for this user";
}

// The task list of each kind of launch command, and what the tasks carry.
TEST_F(LaunchChoice, TaskListByCommandKind) {
  if (user_ != L"en-US") GTEST_SKIP() << "one language is enough";
  struct Row {
    const char* Name;
    const char* Element;  // the Command's element with its attributes
    bool Internal = false;
    Gui GuiMode = Gui::NotGiven;
    bool Extract = true, Delete = true;  // the tasks around the launch
    LaunchMode Mode = LaunchMode::CreateProcessAndWait;  // in the elevated instance: Wait or not
    bool AsAdmin = false;
  };
  const Row rows[] = {
      {.Name = "CreateProcess", .Element = "CreateProcess"},
      {.Name = "ShellExecute with Wait", .Element = "ShellExecute Wait='true'",
       .Mode = LaunchMode::ShellExecuteAndWait},
      {.Name = "ShellExecute without Wait keeps the files", .Element = "ShellExecute", .Delete = false,
       .Mode = LaunchMode::ShellExecuteNoWait},
      {.Name = "ShellExecute elevated: the first instance only starts the second", .Element =
           "ShellExecute Wait='true' AsAdmin='true'", .Extract = false, .Delete = false, .AsAdmin = true},
      {.Name = "the elevated second instance unpacks for itself, ignoring --target", .Element =
           "ShellExecute Wait='true' AsAdmin='true'", .Internal = true, .Mode = LaunchMode::ShellExecuteAndWait},
      {.Name = "the elevated second instance without Wait keeps the files", .Element = "ShellExecute AsAdmin='true'",
       .Internal = true, .Delete = false, .Mode = LaunchMode::ShellExecuteNoWait},
      {.Name = "--gui off hides the extraction's progress", .Element = "CreateProcess", .GuiMode = Gui::Off},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    const std::string element = row.Element;
    const std::string name = element.substr(0, element.find(' '));
    const std::string document =
        "<SelfExtractor FormatVersionMajor='3' FormatVersionMinor='1'><Launch><Options><Option Id='o'>"
        "<ProcessorArchitectureSet><ProcessorArchitecture>x64</ProcessorArchitecture></ProcessorArchitectureSet>"
        "<LanguageTagSet><LanguageTag>en-US</LanguageTag></LanguageTagSet><Commands><Command Id='c'><" +
        element + "><Executable>x.exe</Executable><Arguments>/i p.msi</Arguments></" + name +
        "></Command></Commands></Option></Options></Launch></SelfExtractor>";
    ASSERT_EQ(ParseConfiguration(document.c_str(), TheCfg(), ProcessorArchitecture::X64), 0u);
    CmdLine::Current() = {};
    CmdLine::Current().GuiMode = row.GuiMode;
    CmdLine::Current().PassthroughText = L"/l*v log.txt";
    if (row.Internal) {
      CmdLine::Current().InternalMode = CmdLine::SFXInternalMode::Internal;
      CmdLine::Current().TargetPath = L"C:\\Given";
    }
    App app(GetModuleHandleW(nullptr));
    ASSERT_EQ(app.BuildTaskList(), 0u);

    const auto& tasks = app.Tasks();
    ASSERT_EQ(tasks.size(), (row.Extract ? 1u : 0u) + 1u + (row.Delete ? 1u : 0u));
    std::wstring folder = row.AsAdmin ? L"" : TheCfg().Launch->TargetPath;
    if (row.Internal) {
      folder = tasks[0]->TargetFolder;
      wchar_t windows[MAX_PATH] = {};
      GetSystemWindowsDirectoryW(windows, MAX_PATH);
      EXPECT_EQ(folder.rfind(std::wstring(windows) + L"\\Temp\\{", 0), 0u) << testing::PrintToString(folder);
      EXPECT_TRUE(RemoveDirectoryW(folder.c_str()));
    }
    for (const auto& task : tasks) EXPECT_EQ(task->TargetFolder, folder);
    if (row.Extract) {
      EXPECT_NE(dynamic_cast<const ExtractFiles*>(tasks[0].get()), nullptr);
      EXPECT_EQ(tasks[0]->HideProgress, row.GuiMode == Gui::Off);
      EXPECT_EQ(tasks[0]->MinimumDurationMs, row.GuiMode == Gui::Off ? 0u : 1000u) << "a shown dialog does not flash";
    }
    if (row.AsAdmin) {
      const auto* relaunch = dynamic_cast<const RelaunchElevated*>(tasks[0].get());
      ASSERT_NE(relaunch, nullptr);
      EXPECT_TRUE(relaunch->HideProgress);
      EXPECT_FALSE(relaunch->RunAfterFailure);
      EXPECT_EQ(relaunch->RelaunchArguments,
                L"--internal 1 --language \"en-US\" --command \"c\" --passthrough /l*v log.txt");
      continue;
    }
    const auto* launch = dynamic_cast<const LaunchCommand*>(tasks[1].get());
    ASSERT_NE(launch, nullptr);
    EXPECT_TRUE(launch->HideProgress);
    EXPECT_FALSE(launch->RunAfterFailure);
    if (row.Internal) {
      const auto* elevated = dynamic_cast<const ExecuteElevatedCommand*>(launch);
      ASSERT_NE(elevated, nullptr) << "runs nothing the user chose";
      EXPECT_EQ(elevated->Wait, row.Mode != LaunchMode::ShellExecuteNoWait);
    } else {
      const auto* unelevated = dynamic_cast<const ExecuteLaunchCommand*>(launch);
      ASSERT_NE(unelevated, nullptr);
      EXPECT_EQ(unelevated->Mode, row.Mode);
    }
    EXPECT_EQ(launch->Executable, L"x.exe");
    EXPECT_EQ(launch->Arguments, L"/i p.msi /l*v log.txt") << "the passthrough text after one blank";
    EXPECT_EQ(launch->LanguageTag, L"en-US");
    if (row.Delete) {
      EXPECT_NE(dynamic_cast<const DeleteExtractedFiles*>(tasks.back().get()), nullptr);
      EXPECT_TRUE(tasks.back()->HideProgress);
      EXPECT_TRUE(tasks.back()->RunAfterFailure) << "the folder goes also after a failure";
    }
  }
}

}  // namespace
