// SPDX-License-Identifier: Apache-2.0
// The command-line parser: which words are options, how values are taken,
// the statuses and the exact diagnostic lines.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/vm_cmd_line_parser.h"
#include "support/vm_utf_convert.h"

namespace {

// A value type of the test's own: only even numbers are accepted.
struct Even {
  int Value = 0;
};

}  // namespace

template <>
struct velmora::VMCmdLineArgHandler<std::string, Even> {
  static velmora::VMStatus ProcessValue(Even& target, const std::string& text) {
    if (text.empty() || (text.back() - '0') % 2 != 0) return 0xEE000041;
    target.Value = std::stoi(text);
    return 0;
  }
};

namespace {

using Parser = velmora::VMCmdLineParserT<char>;

std::vector<std::string> g_output;
void Capture(const char* text) { g_output.emplace_back(text); }

// Options: -v/--verbose (flag), -n/--name VALUE, --path VALUE, --even VALUE.
struct Variables {
  std::wstring Verbose;
  std::wstring Name;
  velmora::VMStdPath Path;
  Even Number;
  Even Positional;
  bool VerboseGiven = false;
  bool PositionalGiven = false;
  std::vector<std::string> Surplus;
  std::vector<std::wstring> SurplusWide;
};

struct Config {
  bool Positional = false;  // one required positional argument of type Even
  bool Lists = false;       // both collecting lists attached
  bool NoDefinitions = false;
  bool IgnoreUnknown = false;
  bool AcceptSurplus = false;
  bool NameRequired = false;
};

void Declare(Parser& parser, Variables& v, const Config& setup) {
  parser.Output = &Capture;
  parser.IgnoreUnknownOptions = setup.IgnoreUnknown;
  parser.AcceptSurplusArguments = setup.AcceptSurplus;
  if (setup.Lists) {
    parser.Surplus = &v.Surplus;
    parser.SurplusWide = &v.SurplusWide;
  }
  if (setup.NoDefinitions) return;
  if (setup.Positional) {
    auto argument = std::make_unique<Parser::ArgT<Even>>(v.Positional);
    argument->Required = true;
    argument->Given = &v.PositionalGiven;
    parser.AddArgument(std::move(argument));
  }
  auto verbose = std::make_unique<Parser::Option<std::wstring>>("v", "verbose", v.Verbose, false);
  verbose->Given = &v.VerboseGiven;
  parser.AddOption(std::move(verbose));
  auto name = std::make_unique<Parser::Option<std::wstring>>("n", "name", v.Name, true);
  name->Required = setup.NameRequired;
  parser.AddOption(std::move(name));
  parser.AddOption("", "path", v.Path, true);
  parser.AddOption("", "even", v.Number, true);
}

TEST(VMCmdLineParser, Table) {
  struct Row {
    const char* Name = "";
    std::vector<std::string> Args;
    Config With = {};
    velmora::VMStatus Status = 0;
    std::vector<std::string> Output = {};
    std::wstring ExpectedName = {};
    std::vector<std::string> Surplus = {};
    bool VerboseGiven = false;
    int Number = 0;
  };
  const Row rows[] = {
      {.Name = "dashes and digits are plain words",
       .Args = {"prog", "-", "--", "-5", "--5"},
       .With = {.Lists = true},
       .Surplus = {"-", "--", "-5", "--5"}},
      {.Name = "a value may look like an option",
       .Args = {"prog", "--name", "--verbose"},
       .ExpectedName = L"--verbose"},
      {.Name = "the later value wins", .Args = {"prog", "-n", "a", "--name", "b"}, .ExpectedName = L"b"},
      {.Name = "no definitions: every word is collected",
       .Args = {"prog", "one", "two"},
       .With = {.Lists = true, .NoDefinitions = true},
       .Surplus = {"one", "two"}},
      {.Name = "value missing at the end",
       .Args = {"prog", "--verbose", "--name"},
       .Status = 0xEE000012,
       .Output = {"prog: Missing value for option --name.\n"},
       .VerboseGiven = true},
      {.Name = "the first word is only the program name",
       .Args = {"--bogus", "-n", "x"},
       .ExpectedName = L"x"},
      {.Name = "unknown option",
       .Args = {"prog", "--bogus"},
       .Status = 0xEE000013,
       .Output = {"prog: Unknown option --bogus.\n"}},
      {.Name = "unknown options may be ignored",
       .Args = {"prog", "--bogus", "-n", "x"},
       .With = {.IgnoreUnknown = true},
       .Output = {"prog: Ignoring unknown option --bogus.\n"},
       .ExpectedName = L"x"},
      {.Name = "no name=value form",
       .Args = {"prog", "--name=x"},
       .Status = 0xEE000013,
       .Output = {"prog: Unknown option --name=x.\n"}},
      {.Name = "no bundled short options",
       .Args = {"prog", "-vn", "x"},
       .Status = 0xEE000013,
       .Output = {"prog: Unknown option -vn.\n"}},
      {.Name = "a long name needs two dashes",
       .Args = {"prog", "-name", "x"},
       .Status = 0xEE000013,
       .Output = {"prog: Unknown option -name.\n"}},
      {.Name = "a flag takes no value", .Args = {"prog", "-v", "-n", "x"}, .ExpectedName = L"x", .VerboseGiven = true},
      {.Name = "plain word without a list",
       .Args = {"prog", "file.txt"},
       .Status = 0xEE000084,
       .Output = {"prog: Unexpected argument file.txt.\n"}},
      {.Name = "plain word dropped when surplus is accepted",
       .Args = {"prog", "file.txt", "-n", "x"},
       .With = {.AcceptSurplus = true},
       .ExpectedName = L"x"},
      {.Name = "positional then surplus",
       .Args = {"prog", "4", "6"},
       .With = {.Positional = true, .Lists = true},
       .Surplus = {"6"}},
      {.Name = "missing positional",
       .Args = {"prog", "-v"},
       .With = {.Positional = true},
       .Status = 0xEE000010,
       .Output = {"prog: Missing argument.\n"},
       .VerboseGiven = true},
      {.Name = "invalid positional",
       .Args = {"prog", "3"},
       .With = {.Positional = true},
       .Status = 0xEE000041,
       .Output = {"prog: Invalid argument 3.\n"}},
      {.Name = "missing required option",
       .Args = {"prog"},
       .With = {.NameRequired = true},
       .Status = 0xEE000011,
       .Output = {"prog: Missing required option n (name).\n"}},
      {.Name = "invalid value stops the parse; earlier values stay",
       .Args = {"prog", "-n", "kept", "--even", "3", "-v"},
       .Status = 0xEE000041,
       .Output = {"prog: Invalid value 3 for option --even.\n"},
       .ExpectedName = L"kept"},
      {.Name = "valid value of an own type", .Args = {"prog", "--even", "12"}, .Number = 12},
      {.Name = "an empty program name gives no prefix",
       .Args = {"", "--bogus"},
       .Status = 0xEE000013,
       .Output = {"Unknown option --bogus.\n"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    g_output.clear();
    Variables v;
    Parser parser;
    Declare(parser, v, row.With);
    EXPECT_EQ(parser.Parse(row.Args), row.Status);
    EXPECT_EQ(g_output, row.Output);
    EXPECT_EQ(v.Name, row.ExpectedName);
    EXPECT_EQ(v.Surplus, row.Surplus);
    EXPECT_EQ(v.SurplusWide.size(), row.Surplus.size());
    EXPECT_EQ(v.VerboseGiven, row.VerboseGiven);
    EXPECT_EQ(v.Number.Value, row.Number);
  }
}

TEST(VMCmdLineParser, WideArgumentsArriveAsTheSameText) {
  Variables v;
  Parser parser;
  Declare(parser, v, {.Lists = true});
  const std::vector<std::wstring> args = {L"C:\\prog.exe", L"--name", L"Gr\u00FC\u00DFe \u20AC \U0001D11E",
                                          L"--path", L"C:/Program Files/x", L"\u00E9t\u00E9"};
  ASSERT_EQ(parser.Parse(args), 0u);
  EXPECT_EQ(v.Name, L"Gr\u00FC\u00DFe \u20AC \U0001D11E");
  EXPECT_EQ(v.Path.native(), L"C:\\Program Files\\x");
  EXPECT_EQ(v.SurplusWide, std::vector<std::wstring>{L"\u00E9t\u00E9"});
  EXPECT_EQ(v.Surplus, std::vector<std::string>{"\xC3\xA9t\xC3\xA9"});
  EXPECT_EQ(parser.ProgramName, "C:\\prog.exe");
}

TEST(VMUtfConvert, InvalidTextFallsBackUnitByUnit) {
  EXPECT_EQ(velmora::VMUtf16ToUtf8(L"a\u00E9"), "a\xC3\xA9");
  EXPECT_EQ(velmora::VMUtf16ToUtf8(std::wstring(L"a\xD800" L"b")), std::string("a\x00" "b", 3))
      << "a lone surrogate keeps only its low byte";
  EXPECT_EQ(velmora::VMUtf8ToUtf16("a\xC3\xA9"), L"a\u00E9");
  EXPECT_EQ(velmora::VMUtf8ToUtf16("\xE9t\xE9"), L"\u00E9t\u00E9") << "Latin-1 bytes widen as they are";
  EXPECT_EQ(velmora::VMUtf8ToUtf16(""), L"");
}

}  // namespace
