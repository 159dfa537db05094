// SPDX-License-Identifier: Apache-2.0
// The stub's command line as Windows hands it over: options, the passthrough
// marker, the argument tail, and the relaunch line of the elevated instance.
#include <gtest/gtest.h>

#include <windows.h>


#include <string>
#include <vector>

#include "app/cmd_line.h"
#include "app/relaunch_arguments.h"

namespace {

using CmdLine::SFXGuiMode;
using CmdLine::SFXInternalMode;

std::vector<std::string> g_errors;
void CaptureError(const char* text) { g_errors.emplace_back(text); }

TEST(StubCommandLine, Table) {
  struct Row {
    const char* Name = "";
    const wchar_t* Raw = L"";
    velmora::VMStatus Status = 0;
    std::vector<std::string> Errors = {};
    SFXGuiMode Gui = SFXGuiMode::NotGiven;
    SFXInternalMode Internal = SFXInternalMode::NotGiven;
    std::wstring Command = {};
    std::wstring Target = {};
    std::wstring Language = {};
    std::wstring Passthrough = {};
    std::wstring Tail = {};
    std::vector<std::wstring> Surplus = {};
  };
  const Row rows[] = {
      {.Name = "quoted program path",
       .Raw = L"\"C:\\Program Files\\setup.exe\" --gui off --target C:\\x",
       .Gui = SFXGuiMode::Off,
       .Target = L"C:\\x",
       .Tail = L"--gui off --target C:\\x"},
      {.Name = "unquoted program path gives the same tail",
       .Raw = L"C:\\setup.exe --gui off --target C:\\x",
       .Gui = SFXGuiMode::Off,
       .Target = L"C:\\x",
       .Tail = L"--gui off --target C:\\x"},
      {.Name = "the tail is trimmed and kept as written",
       .Raw = L"setup.exe \t  --language  de-DE \r\n",
       .Language = L"de-DE",
       .Tail = L"--language  de-DE",
       .Surplus = {L"\r\n"}},  // Windows splits words at blanks and tabs only
      {.Name = "nothing but the program", .Raw = L"\"setup.exe\""},
      {.Name = "gui value in any letter case", .Raw = L"setup.exe --gui OFF", .Gui = SFXGuiMode::Off,
       .Tail = L"--gui OFF"},
      {.Name = "gui on in mixed case", .Raw = L"setup.exe --gui oN", .Gui = SFXGuiMode::On, .Tail = L"--gui oN"},
      {.Name = "gui value other than on or off",
       .Raw = L"setup.exe --gui maybe",
       .Status = 0xEE000041,
       .Errors = {"setup.exe: Invalid value maybe for option --gui.\n"},
       .Tail = L"--gui maybe"},
      {.Name = "the next option is taken as the gui value",
       .Raw = L"setup.exe --gui --internal 1",
       .Status = 0xEE000041,
       .Errors = {"setup.exe: Invalid value --internal for option --gui.\n"},
       .Tail = L"--gui --internal 1"},
      {.Name = "internal 1", .Raw = L"setup.exe --internal 1", .Internal = SFXInternalMode::Internal,
       .Tail = L"--internal 1"},
      {.Name = "internal 2",
       .Raw = L"setup.exe --internal 2",
       .Status = 0xEE000041,
       .Errors = {"setup.exe: Invalid value 2 for option --internal.\n"},
       .Tail = L"--internal 2"},
      {.Name = "internal 01 is not 1",
       .Raw = L"setup.exe --internal 01",
       .Status = 0xEE000041,
       .Errors = {"setup.exe: Invalid value 01 for option --internal.\n"},
       .Tail = L"--internal 01"},
      {.Name = "gui off before a failing option stays",
       .Raw = L"setup.exe --gui off --bogus",
       .Status = 0xEE000013,
       .Errors = {"setup.exe: Unknown option --bogus.\n"},
       .Gui = SFXGuiMode::Off,
       .Tail = L"--gui off --bogus"},
      {.Name = "missing value",
       .Raw = L"setup.exe --target",
       .Status = 0xEE000012,
       .Errors = {"setup.exe: Missing value for option --target.\n"},
       .Tail = L"--target"},
      {.Name = "a lone surrogate in a value is refused, not cut off",
       .Raw = L"setup.exe --gui off --target C:\\Users\\x\\\xD800" L"evil",
       .Status = 0xEE000041,
       .Errors = {"setup.exe: Argument 4 is not valid UTF-16.\n"},
       .Gui = SFXGuiMode::Off,
       .Tail = L"--gui off --target C:\\Users\\x\\\xD800" L"evil"},
      {.Name = "a lone low surrogate in a plain word is refused",
       .Raw = L"setup.exe a\xDC00" L"b",
       .Status = 0xEE000041,
       .Errors = {"setup.exe: Argument 1 is not valid UTF-16.\n"},
       .Tail = L"a\xDC00" L"b"},
      {.Name = "a surrogate pair is a character like any other",
       .Raw = L"setup.exe --target C:\\\xD83D\xDE00",
       .Target = L"C:\\\xD83D\xDE00",
       .Tail = L"--target C:\\\xD83D\xDE00"},
      {.Name = "values are stored exactly",
       .Raw = L"setup.exe --command Install --language EN-us",
       .Command = L"Install",
       .Language = L"EN-us",
       .Tail = L"--command Install --language EN-us"},
      {.Name = "slashes in the target become backslashes",
       .Raw = L"setup.exe --target \"C:/Pr\u00FCfung \u20AC/sub\"",
       .Target = L"C:\\Pr\u00FCfung \u20AC\\sub",
       .Tail = L"--target \"C:/Pr\u00FCfung \u20AC/sub\""},
      {.Name = "the later value wins",
       .Raw = L"setup.exe --target A --language x --target B --language y",
       .Target = L"B",
       .Language = L"y",
       .Tail = L"--target A --language x --target B --language y"},
      {.Name = "plain words are accepted and ignored",
       .Raw = L"setup.exe extra.txt --gui on \"other file\"",
       .Gui = SFXGuiMode::On,
       .Tail = L"extra.txt --gui on \"other file\"",
       .Surplus = {L"extra.txt", L"other file"}},
      {.Name = "nothing behind the marker is parsed",
       .Raw = L"setup.exe --gui off --passthrough  /qn --bogus /norestart ",
       .Gui = SFXGuiMode::Off,
       .Passthrough = L"/qn --bogus /norestart",
       .Tail = L"--gui off --passthrough  /qn --bogus /norestart"},
      {.Name = "the marker's word inside a target path is part of the path",
       .Raw = L"setup.exe --language en-US --target C:\\x\\passthrough",
       .Target = L"C:\\x\\passthrough",
       .Language = L"en-US",
       .Tail = L"--language en-US --target C:\\x\\passthrough"},
      {.Name = "the marker written inside a quoted path is part of the path",
       .Raw = L"setup.exe --target \"C:\\a --passthrough b\" --gui off",
       .Gui = SFXGuiMode::Off,
       .Target = L"C:\\a --passthrough b",
       .Tail = L"--target \"C:\\a --passthrough b\" --gui off"},
      {.Name = "an escaped quote does not open a quoted part",
       .Raw = L"setup.exe x\\\"y --passthrough /qn",
       .Passthrough = L"/qn",
       .Tail = L"x\\\"y --passthrough /qn",
       .Surplus = {L"x\"y"}},
      {.Name = "a doubled backslash before a quote opens a quoted part",
       .Raw = L"setup.exe x\\\\\"y --passthrough /qn\"",
       .Tail = L"x\\\\\"y --passthrough /qn\"",
       .Surplus = {L"x\\y --passthrough /qn"}},
      {.Name = "a longer word starting with the marker is no marker",
       .Raw = L"setup.exe --passthroughs",
       .Status = 0xEE000013,
       .Errors = {"setup.exe: Unknown option --passthroughs.\n"},
       .Tail = L"--passthroughs"},
      {.Name = "the marker at the end of the line, behind a tab",
       .Raw = L"setup.exe --gui on\t--passthrough",
       .Gui = SFXGuiMode::On,
       .Tail = L"--gui on\t--passthrough"},
      {.Name = "the marker glued to a value is part of it",
       .Raw = L"setup.exe --target x--passthrough",
       .Target = L"x--passthrough",
       .Tail = L"--target x--passthrough"},
      {.Name = "the marker is case-sensitive",
       .Raw = L"setup.exe --Passthrough x",
       .Status = 0xEE000013,
       .Errors = {"setup.exe: Unknown option --Passthrough.\n"},
       .Tail = L"--Passthrough x"},
      {.Name = "the program's own folder may contain the marker's word",
       .Raw = L"\"C:\\passthrough\\setup.exe\" --gui off",
       .Gui = SFXGuiMode::Off,
       .Tail = L"--gui off"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    g_errors.clear();
    CmdLine::Values values;
    EXPECT_EQ(ParseStubCommandLine(row.Raw, values, &CaptureError), row.Status);
    EXPECT_EQ(g_errors, row.Errors);
    EXPECT_EQ(values.GuiMode, row.Gui);
    EXPECT_EQ(values.InternalMode, row.Internal);
    EXPECT_EQ(values.CommandId, row.Command);
    EXPECT_EQ(values.TargetPath.native(), row.Target);
    EXPECT_EQ(values.LanguageTag, row.Language);
    EXPECT_EQ(values.PassthroughText, row.Passthrough);
    EXPECT_EQ(values.SurplusArguments, row.Surplus);
    EXPECT_EQ(values.ArgumentTail, row.Tail);
  }
}

TEST(RelaunchArguments, Format) {
  EXPECT_EQ(ComposeRelaunchArguments(L"en-US", SFXGuiMode::NotGiven, L"", L""), L"--internal 1 --language \"en-US\"");
  EXPECT_EQ(ComposeRelaunchArguments(L"", SFXGuiMode::Off, L"install", L"/qn"),
            L"--internal 1 --gui off --command \"install\" --passthrough /qn");
  EXPECT_EQ(ComposeRelaunchArguments(L"", SFXGuiMode::On, L"", L""), L"--internal 1 --gui on");
}

// What the elevated instance reads back from the line the first one composed:
// the values the first one settled, whatever its own command line held.
TEST(RelaunchArguments, RoundTrip) {
  struct Settled {
    std::wstring Language;
    SFXGuiMode Gui;
    std::wstring Command;
    std::wstring Passthrough;
  };
  const Settled rows[] = {
      {L"", SFXGuiMode::NotGiven, L"", L""},
      {L"de-DE", SFXGuiMode::Off, L"install", L"/qn /norestart"},
      {L"sr_Latn_RS", SFXGuiMode::On, L"with blank and \"quote\\", L"--target \"\" --language \"\""},
      {L"fr", SFXGuiMode::NotGiven, L"passthrough", L"passthrough --internal 2"},
      {L"en", SFXGuiMode::Off, L"C:\\two\\\\", L""},
      {L"en", SFXGuiMode::Off, L"a\\\"b\\ \u65E5\u672C", L""},
  };
  for (const Settled& row : rows) {
    const std::wstring arguments = ComposeRelaunchArguments(row.Language, row.Gui, row.Command, row.Passthrough);
    SCOPED_TRACE(testing::PrintToString(arguments));
    const std::wstring line = L"\"\\\\server\\share\\setup.exe\" " + arguments;
    CmdLine::Values values;
    ASSERT_EQ(ParseStubCommandLine(line.c_str(), values, &CaptureError), 0u);
    EXPECT_EQ(values.InternalMode, SFXInternalMode::Internal);
    EXPECT_EQ(values.TargetPath.native(), L"");
    EXPECT_EQ(values.LanguageTag, row.Language);
    EXPECT_EQ(values.GuiMode, row.Gui);
    EXPECT_EQ(values.CommandId, row.Command);
    EXPECT_EQ(values.PassthroughText, row.Passthrough);
  }
}

}  // namespace
