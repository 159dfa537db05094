// SPDX-License-Identifier: Apache-2.0
// Configuration documents through the loader: what each one turns into, or
// which status rejects it, on x86, x64 and ARM64 machines.
#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "config/cfg.h"

namespace {

using velmora::ProcessorArchitecture;
using velmora::VMStatus;

namespace status = velmora::status;

constexpr auto X86 = ProcessorArchitecture::X86;
constexpr auto X64 = ProcessorArchitecture::X64;
constexpr auto ARM64 = ProcessorArchitecture::ARM64;

std::wstring CurrentFolder() {
  wchar_t buffer[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, buffer);
  return buffer;
}

std::wstring Env(const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  GetEnvironmentVariableW(name, value, MAX_PATH);
  return value;
}

// Document builders: each names only what a row is about.
std::string Doc(const std::string& body, const std::string& version = "FormatVersionMajor='3' FormatVersionMinor='1'") {
  return "<SelfExtractor " + version + ">" + body + "</SelfExtractor>";
}

std::string CreateProcess(const std::string& id, const std::string& executable = "msiexec.exe",
                          const std::string& more = "<Arguments>/i product.msi</Arguments>") {
  return "<Command Id='" + id + "'><CreateProcess><Executable>" + executable + "</Executable>" + more +
         "</CreateProcess></Command>";
}

const std::string kCommands =
    "<Commands>" + CreateProcess("Install") + "<DefaultCommand>Install</DefaultCommand></Commands>";

std::string Option(const std::string& id, const std::vector<std::string>& architectures,
                   const std::vector<std::string>& tags, const std::string& commands = kCommands) {
  std::string option = "<Option Id='" + id + "'><ProcessorArchitectureSet>";
  for (const auto& a : architectures) option += "<ProcessorArchitecture>" + a + "</ProcessorArchitecture>";
  option += "</ProcessorArchitectureSet>";
  if (!tags.empty()) {
    option += "<LanguageTagSet>";
    for (const auto& t : tags) option += "<LanguageTag>" + t + "</LanguageTag>";
    option += "</LanguageTagSet>";
  }
  return option + commands + "</Option>";
}

std::string Launch(const std::string& options, const std::string& settings = "") {
  return "<Launch>" + settings + "<Options>" + options + "</Options></Launch>";
}

// An Option with just one command; the second argument replaces the
// command's content.
std::string OptionWithCommand(const std::string& command) {
  return Option("o", {"x86", "x64", "ARM64"}, {}, "<Commands>" + command + "</Commands>");
}

// The layout of a typical product: x86 and x64 builds, each in English and
// German, six commands each.
std::string SampleLayout() {
  std::string options;
  for (const char* arch : {"x86", "x64"}) {
    for (const char* tag : {"en-US", "de-DE"}) {
      const std::string msi = std::string("product-") + arch + "-" + tag + ".msi";
      std::string commands = "<Commands>";
      for (const char* verb : {"Install", "Repair", "Uninstall", "Modify", "Log"}) {
        commands += CreateProcess(verb, "%SystemRoot%\\System32\\msiexec.exe",
                                  "<Arguments>/" + std::string(verb) + " " + msi + "</Arguments>");
      }
      commands += "<Command Id='Readme'><ShellExecute Wait='false'><Executable>readme.txt</Executable>"
                  "</ShellExecute></Command><DefaultCommand>Install</DefaultCommand></Commands>";
      options += Option(std::string(arch) + "-" + tag, {arch}, {tag}, commands);
    }
  }
  return Doc("<Title>Example 1.0</Title>" + Launch(options, "<LanguageSelectionDialog><Enabled>true</Enabled>"
                                                            "</LanguageSelectionDialog>"));
}

struct Row {
  const char* Name;
  std::string Document;
  ProcessorArchitecture Native = X64;
  VMStatus Status = status::Ok;
  // The caption, after success and failure alike.
  std::wstring Title = L" Self Extractor";
  // Accepted documents: 'E' extract or 'L' launch.
  char Section = 0;
  // Extract.
  std::wstring TargetPath = {};
  bool FolderDialog = true;
  bool ProgressDialog = true;
  // Launch.
  std::vector<std::wstring> MatchingIds = {};
  std::set<std::wstring> MatchingTags = {};
  bool LanguageNeutral = false;
  bool LanguageDialog = false;
  // The default command of the first matching Option, and the command
  // checked in detail (that default unless named here).
  std::wstring DefaultCommand = L"install";
  std::wstring CheckedCommand = {};
  std::wstring Executable = L"msiexec.exe";
  std::wstring Arguments = L"/i product.msi";
  bool Wait = false;
  bool AsAdmin = false;
  bool WaitForProcessTree = false;
};

std::vector<Row> AcceptedRows() {
  const std::wstring cwd = CurrentFolder();
  const std::wstring selfCaption = L"config_tests Self Extractor";
  const std::string x64Only = Launch(Option("o", {"x64"}, {"en-US"}));
  return {
      // Versions and the top level.
      {.Name = "the smallest document: an extract stub with every default",
       .Document = Doc(""),
       .Title = selfCaption, .Section = 'E', .TargetPath = cwd},
      {.Name = "minor version 0, a leading blank before the major version",
       .Document = Doc("", "FormatVersionMajor=' 3' FormatVersionMinor='0'"),
       .Title = selfCaption, .Section = 'E', .TargetPath = cwd},
      {.Name = "digits followed by anything else read as that number",
       .Document = Doc("", "FormatVersionMajor='3.9' FormatVersionMinor='1beta'"),
       .Title = selfCaption, .Section = 'E', .TargetPath = cwd},
      {.Name = "a byte-order mark, a declaration, and another element first at the top",
       .Document = "\xEF\xBB\xBF<?xml version='1.0' encoding='windows-1252'?><!-- c --><Other/>" + Doc(""),
       .Title = selfCaption, .Section = 'E', .TargetPath = cwd},
      {.Name = "a title without a section: extract stub under that title",
       .Document = Doc("<Title>Example 1.0</Title>"),
       .Title = L" Example 1.0", .Section = 'E', .TargetPath = cwd},
      {.Name = "the title verbatim: entities, blanks, line breaks as LF, UTF-8",
       .Document = Doc("<Title>  A &amp; B\r\nGr\xC3\xBC\xC3\x9F""e &#x4E2D; </Title><Extract/>"),
       .Title = L"   A & B\nGr\u00FC\u00DFe \u4E2D ", .Section = 'E', .TargetPath = cwd},
      {.Name = "an entity the parser does not know stays as written",
       .Document = Doc("<Title>&nbsp;</Title><Extract/>"),
       .Title = L" &nbsp;", .Section = 'E', .TargetPath = cwd},
      {.Name = "a CDATA title on a line of its own",
       .Document = Doc("<Title>\n  <![CDATA[<Example> & 1.0]]>\n</Title><Extract/>"),
       .Title = L" <Example> & 1.0", .Section = 'E', .TargetPath = cwd},
      {.Name = "bytes that are not UTF-8 become sign-extended units",
       .Document = Doc("<Title>caf\xE9</Title>"),
       .Title = std::wstring(L" caf") + L'\xFFE9', .Section = 'E', .TargetPath = cwd},
      {.Name = "an empty CDATA title counts as no title",
       .Document = Doc("<Title><![CDATA[]]></Title><Extract/>"),
       .Title = selfCaption, .Section = 'E', .TargetPath = cwd},
      // The extract section.
      {.Name = "extract settings in any letter case; unknown and launch-only elements are ignored",
       .Document = Doc("<Extract><Unknown/><LanguageSelectionDialog/>"
                       "<ProgressDialog><Enabled>FALSE</Enabled></ProgressDialog>"
                       "<FolderSelectionDialog><Enabled>False</Enabled><Other>x</Other></FolderSelectionDialog>"
                       "<TargetPath>C:\\Data</TargetPath></Extract>"),
       .Title = selfCaption, .Section = 'E', .TargetPath = L"C:\\Data", .FolderDialog = false,
       .ProgressDialog = false},
      {.Name = "a relative target path is completed against the working folder",
       .Document = Doc("<Extract><TargetPath>Output</TargetPath></Extract>"),
       .Title = selfCaption, .Section = 'E', .TargetPath = cwd + L"\\Output"},
      {.Name = "a dot element stays in a completed target path",
       .Document = Doc("<Extract><TargetPath>.\\Output</TargetPath></Extract>"),
       .Title = selfCaption, .Section = 'E', .TargetPath = cwd + L"\\.\\Output"},
      {.Name = "environment references in the target path are expanded",
       .Document = Doc("<Extract><TargetPath>%SystemRoot%\\x</TargetPath></Extract>"),
       .Title = selfCaption, .Section = 'E', .TargetPath = Env(L"SystemRoot") + L"\\x"},
      // The launch section.
      {.Name = "the sample layout on an x64 machine",
       .Document = SampleLayout(),
       .Title = L" Example 1.0", .Section = 'L', .MatchingIds = {L"x64-en-us", L"x64-de-de"},
       .MatchingTags = {L"de-DE", L"en-US"}, .LanguageDialog = true,
       .Executable = Env(L"SystemRoot") + L"\\System32\\msiexec.exe",
       .Arguments = L"/Install product-x64-en-US.msi"},
      {.Name = "the sample layout on an x86 machine",
       .Document = SampleLayout(), .Native = X86,
       .Title = L" Example 1.0", .Section = 'L', .MatchingIds = {L"x86-en-us", L"x86-de-de"},
       .MatchingTags = {L"de-DE", L"en-US"}, .LanguageDialog = true, .CheckedCommand = L"readme",
       .Executable = L"readme.txt", .Arguments = L""},
      {.Name = "the sample layout on an ARM64 machine: loads, with nothing that fits",
       .Document = SampleLayout(), .Native = ARM64,
       .Title = L" Example 1.0", .Section = 'L', .LanguageDialog = true},
      {.Name = "a launch stub without a title",
       .Document = Doc(x64Only),
       .Title = L" Setup", .Section = 'L', .MatchingIds = {L"o"}, .MatchingTags = {L"en-US"}},
      {.Name = "one language-neutral Option",
       .Document = Doc(Launch(Option("Any", {"x86", "x64"}, {}),
                              "<ProgressDialog><Enabled>false</Enabled></ProgressDialog>"
                              "<TargetPath>ignored</TargetPath><FolderSelectionDialog/>")),
       .Title = L" Setup", .Section = 'L', .ProgressDialog = false, .MatchingIds = {L"any"}, .LanguageNeutral = true},
      {.Name = "a neutral x64 Option beside tagged x86 ones, on x64",
       .Document = Doc(Launch(Option("n", {"x64"}, {}) + Option("e", {"x86"}, {"en-US"}) +
                              Option("d", {"x86"}, {"de-DE"}))),
       .Title = L" Setup", .Section = 'L', .MatchingIds = {L"n"}, .LanguageNeutral = true},
      {.Name = "the same document on x86 uses the tagged Options",
       .Document = Doc(Launch(Option("n", {"x64"}, {}) + Option("e", {"x86"}, {"en-US"}) +
                              Option("d", {"x86"}, {"de-DE"}))),
       .Native = X86, .Title = L" Setup", .Section = 'L', .MatchingIds = {L"e", L"d"},
       .MatchingTags = {L"en-US", L"de-DE"}},
      {.Name = "a neutral x64 Option beside a tagged x64 one still loads on x86",
       .Document = Doc(Launch(Option("a", {"x64"}, {"en-US"}) + Option("b", {"x64"}, {}) +
                              Option("c", {"x86"}, {"en-US"}))),
       .Native = X86, .Title = L" Setup", .Section = 'L', .MatchingIds = {L"c"}, .MatchingTags = {L"en-US"}},
      {.Name = "the same tag in two x64 Options does not matter on x86",
       .Document = Doc(Launch(Option("a", {"x64"}, {"en-US"}) + Option("b", {"x64"}, {"en-US"}) +
                              Option("c", {"x86"}, {"en-US"}))),
       .Native = X86, .Title = L" Setup", .Section = 'L', .MatchingIds = {L"c"}, .MatchingTags = {L"en-US"}},
      {.Name = "tags are stored as written: EN-us and en-US are two languages",
       .Document = Doc(Launch(Option("a", {"x64"}, {"EN-us"}) + Option("b", {"x64"}, {"en-US"}))),
       .Title = L" Setup", .Section = 'L', .MatchingIds = {L"a", L"b"}, .MatchingTags = {L"EN-us", L"en-US"}},
      {.Name = "Ids lose the case of their ASCII letters only",
       .Document = Doc(Launch(Option("Full-\xC3\x84\xC3\xA4", {"x64"}, {}))),
       .Title = L" Setup", .Section = 'L', .MatchingIds = {L"full-\u00C4\u00E4"}, .LanguageNeutral = true},
      {.Name = "ARM64 is matched on an ARM64 machine",
       .Document = Doc(Launch(Option("x", {"x64"}, {"en-US"}) + Option("a", {"ARM64", "x86"}, {"en-US"}))),
       .Native = ARM64, .Title = L" Setup", .Section = 'L', .MatchingIds = {L"a"}, .MatchingTags = {L"en-US"}},
      {.Name = "an unknown machine matches nothing",
       .Document = Doc(Launch(Option("x", {"x86", "x64", "IA64", "ARM", "ARM64"}, {}))),
       .Native = ProcessorArchitecture::Unknown, .Title = L" Setup", .Section = 'L'},
      // Commands.
      {.Name = "a default command in another letter case names its command",
       .Document = Doc(Launch(OptionWithCommand(CreateProcess("Install") + CreateProcess("Repair") +
                                                "<DefaultCommand>INSTALL</DefaultCommand>"))),
       .Title = L" Setup", .Section = 'L', .MatchingIds = {L"o"}, .LanguageNeutral = true},
      {.Name = "no default command; environment references stay in the arguments",
       .Document = Doc(Launch(OptionWithCommand(CreateProcess("Run", "%SystemRoot%\\notepad.exe",
                                                              "<Arguments>%TEMP%\\a.txt</Arguments>")))),
       .Title = L" Setup", .Section = 'L', .MatchingIds = {L"o"}, .LanguageNeutral = true, .DefaultCommand = L"",
       .CheckedCommand = L"run", .Executable = Env(L"SystemRoot") + L"\\notepad.exe", .Arguments = L"%TEMP%\\a.txt"},
      {.Name = "an empty argument list",
       .Document = Doc(Launch(OptionWithCommand(
           "<Command Id='Setup'><ShellExecute Wait='False' AsAdmin='TRUE'><Executable>setup.exe</Executable>"
           "<Arguments></Arguments></ShellExecute></Command><DefaultCommand>setup</DefaultCommand>"))),
       .Status = status::ElementEmpty, .Title = L" Self Extractor"},
      {.Name = "a shell command's flags are read",
       .Document = Doc(Launch(OptionWithCommand(
           "<Command Id='Setup'><ShellExecute Wait='False' AsAdmin='TRUE'><Executable>setup.exe</Executable>"
           "</ShellExecute></Command><DefaultCommand>setup</DefaultCommand>"))),
       .Title = L" Setup", .Section = 'L', .MatchingIds = {L"o"}, .LanguageNeutral = true,
       .DefaultCommand = L"setup", .Executable = L"setup.exe", .Arguments = L"", .Wait = false, .AsAdmin = true},
      {.Name = "Wait alone on a shell command",
       .Document = Doc(Launch(OptionWithCommand(
           "<Command Id='s'><ShellExecute Wait='true'><Executable>a.exe</Executable>"
           "<Arguments> -x </Arguments></ShellExecute></Command>"))),
       .Title = L" Setup", .Section = 'L', .MatchingIds = {L"o"}, .LanguageNeutral = true, .DefaultCommand = L"",
       .CheckedCommand = L"s", .Executable = L"a.exe", .Arguments = L" -x ", .Wait = true},
      {.Name = "WaitForProcessTree on CreateProcess and on a waiting ShellExecute",
       .Document = Doc(Launch(OptionWithCommand(
           CreateProcess("c", "a.exe", "<WaitForProcessTree>TRUE</WaitForProcessTree>") +
           "<Command Id='s'><ShellExecute Wait='true' AsAdmin='true'><Executable>a.exe</Executable>"
           "<WaitForProcessTree>true</WaitForProcessTree></ShellExecute></Command><DefaultCommand>s</DefaultCommand>"))),
       .Title = L" Setup", .Section = 'L', .MatchingIds = {L"o"}, .LanguageNeutral = true, .DefaultCommand = L"s",
       .Executable = L"a.exe", .Arguments = L"", .Wait = true, .AsAdmin = true, .WaitForProcessTree = true},
      {.Name = "a default command written as empty CDATA means none",
       .Document = Doc(Launch(OptionWithCommand(CreateProcess("Install") + "<DefaultCommand><![CDATA[]]>"
                                                                           "</DefaultCommand>"))),
       .Title = L" Setup", .Section = 'L', .MatchingIds = {L"o"}, .LanguageNeutral = true, .DefaultCommand = L"",
       .CheckedCommand = L"install"},
  };
}

std::vector<Row> RejectedRows() {
  const std::string title = "<Title>T</Title>";
  auto tagged = [](const char* id, const char* arch, std::vector<std::string> tags) {
    return Option(id, {arch}, std::move(tags));
  };
  return {
      // The text itself.
      {.Name = "empty text", .Document = "", .Status = status::XmlParseError},
      {.Name = "not well-formed", .Document = "<SelfExtractor FormatVersionMajor='3' FormatVersionMinor='0'>",
       .Status = status::XmlParseError},
      {.Name = "a UTF-16 document ends at its first zero byte", .Document = std::string("<\0S", 3),
       .Status = status::XmlParseError},
      // The root and its version.
      {.Name = "no SelfExtractor", .Document = "<selfextractor FormatVersionMajor='3' FormatVersionMinor='0'/>",
       .Status = status::InvalidConfiguration},
      {.Name = "SelfExtractor nested, not at the top", .Document = "<Root>" + Doc("") + "</Root>",
       .Status = status::InvalidConfiguration},
      {.Name = "no major version", .Document = Doc("", "FormatVersionMinor='0'"), .Status = status::NotFound},
      {.Name = "no minor version", .Document = Doc("", "FormatVersionMajor='3'"), .Status = status::NotFound},
      {.Name = "version attributes are named exactly",
       .Document = Doc("", "formatversionmajor='3' FormatVersionMinor='0'"), .Status = status::NotFound},
      {.Name = "an unreadable major version", .Document = Doc("", "FormatVersionMajor='three' FormatVersionMinor='0'"),
       .Status = status::InvalidConfiguration},
      {.Name = "an unreadable minor version", .Document = Doc("", "FormatVersionMajor='3' FormatVersionMinor=''"),
       .Status = status::InvalidConfiguration},
      {.Name = "major version 2", .Document = Doc("", "FormatVersionMajor='2' FormatVersionMinor='0'"),
       .Status = status::InvalidConfiguration},
      {.Name = "major version 4", .Document = Doc("", "FormatVersionMajor='4' FormatVersionMinor='0'"),
       .Status = status::InvalidConfiguration},
      {.Name = "minor version 2", .Document = Doc("", "FormatVersionMajor='3' FormatVersionMinor='2'"),
       .Status = status::InvalidConfiguration},
      {.Name = "a major version that only wraps around to 3",
       .Document = Doc("", "FormatVersionMajor='4294967299' FormatVersionMinor='0'"), .Status = status::InvalidConfiguration},
      // Title and sections.
      {.Name = "two titles", .Document = Doc(title + title), .Status = status::InvalidConfiguration},
      {.Name = "an empty title", .Document = Doc("<Title/>"), .Status = status::ElementEmpty},
      {.Name = "a title of a comment and text", .Document = Doc("<Title><!-- c -->T</Title>"), .Status = status::InvalidConfiguration},
      {.Name = "a title holding an element", .Document = Doc("<Title><b>T</b></Title>"), .Status = status::InvalidConfiguration},
      {.Name = "a failure after the title keeps the new caption", .Document = Doc(title + "<Extract/><Extract/>"),
       .Status = status::InvalidConfiguration, .Title = L" T"},
      {.Name = "both sections", .Document = Doc(title + "<Extract/>" + Launch(Option("o", {"x64"}, {}))),
       .Status = status::InvalidConfiguration, .Title = L" T"},
      {.Name = "two launch sections",
       .Document = Doc(Launch(Option("o", {"x64"}, {})) + Launch(Option("o", {"x64"}, {}))), .Status = status::InvalidConfiguration},
      // Dialog switches.
      {.Name = "two progress dialogs",
       .Document = Doc("<Extract><ProgressDialog><Enabled>true</Enabled></ProgressDialog>"
                       "<ProgressDialog><Enabled>true</Enabled></ProgressDialog></Extract>"),
       .Status = status::InvalidConfiguration},
      {.Name = "a progress dialog without Enabled", .Document = Doc("<Extract><ProgressDialog/></Extract>"),
       .Status = status::InvalidConfiguration},
      {.Name = "two Enabled",
       .Document = Doc("<Extract><FolderSelectionDialog><Enabled>true</Enabled><Enabled>true</Enabled>"
                       "</FolderSelectionDialog></Extract>"),
       .Status = status::InvalidConfiguration},
      {.Name = "Enabled with a blank before True",
       .Document = Doc("<Extract><ProgressDialog><Enabled> True</Enabled></ProgressDialog></Extract>"),
       .Status = status::InvalidConfiguration},
      {.Name = "Enabled yes",
       .Document = Doc(Launch(Option("o", {"x64"}, {}),
                              "<LanguageSelectionDialog><Enabled>yes</Enabled></LanguageSelectionDialog>")),
       .Status = status::InvalidConfiguration},
      {.Name = "Enabled self-closed",
       .Document = Doc("<Extract><FolderSelectionDialog><Enabled/></FolderSelectionDialog></Extract>"),
       .Status = status::ElementEmpty},
      {.Name = "two folder dialogs",
       .Document = Doc("<Extract><FolderSelectionDialog><Enabled>true</Enabled></FolderSelectionDialog>"
                       "<FolderSelectionDialog><Enabled>true</Enabled></FolderSelectionDialog></Extract>"),
       .Status = status::InvalidConfiguration},
      {.Name = "two language dialogs",
       .Document = Doc(Launch(Option("o", {"x64"}, {}),
                              "<LanguageSelectionDialog><Enabled>true</Enabled></LanguageSelectionDialog>"
                              "<LanguageSelectionDialog><Enabled>true</Enabled></LanguageSelectionDialog>")),
       .Status = status::InvalidConfiguration},
      // Target path.
      {.Name = "two target paths",
       .Document = Doc("<Extract><TargetPath>a</TargetPath><TargetPath>b</TargetPath></Extract>"),
       .Status = status::InvalidConfiguration},
      {.Name = "an empty target path", .Document = Doc("<Extract><TargetPath></TargetPath></Extract>"),
       .Status = status::ElementEmpty},
      {.Name = "an unknown folder name", .Document = Doc("<Extract><TargetPath>${NO_SUCH}\\x</TargetPath></Extract>"),
       .Status = status::InvalidConfiguration},
      // Options.
      {.Name = "a launch section without Options", .Document = Doc("<Launch/>"), .Status = status::InvalidConfiguration},
      {.Name = "two Options", .Document = Doc("<Launch><Options>" + Option("a", {"x64"}, {}) + "</Options><Options>" +
                                              Option("b", {"x64"}, {}) + "</Options></Launch>"),
       .Status = status::InvalidConfiguration},
      {.Name = "Options without an Option", .Document = Doc(Launch("")), .Status = status::InvalidConfiguration},
      {.Name = "an Option without an Id",
       .Document = Doc(Launch("<Option><ProcessorArchitectureSet><ProcessorArchitecture>x64</ProcessorArchitecture>"
                              "</ProcessorArchitectureSet>" + kCommands + "</Option>")),
       .Status = status::NotFound},
      {.Name = "an empty Id", .Document = Doc(Launch(Option("", {"x64"}, {}))), .Status = status::NotFound},
      {.Name = "an Id with a leading blank", .Document = Doc(Launch(Option(" o", {"x64"}, {}))), .Status = status::InvalidConfiguration},
      {.Name = "an Id with a trailing tab", .Document = Doc(Launch(Option("o&#9;", {"x64"}, {}))),
       .Status = status::InvalidConfiguration},
      {.Name = "two Options whose Ids differ in letter case only",
       .Document = Doc(Launch(Option("Full", {"x86"}, {}) + Option("full", {"x64"}, {}))), .Status = status::InvalidConfiguration},
      {.Name = "an Option without architectures",
       .Document = Doc(Launch("<Option Id='o'>" + kCommands + "</Option>")), .Status = status::InvalidConfiguration},
      {.Name = "two architecture sets",
       .Document = Doc(Launch("<Option Id='o'><ProcessorArchitectureSet><ProcessorArchitecture>x64"
                              "</ProcessorArchitecture></ProcessorArchitectureSet><ProcessorArchitectureSet>"
                              "<ProcessorArchitecture>x86</ProcessorArchitecture></ProcessorArchitectureSet>" +
                              kCommands + "</Option>")),
       .Status = status::InvalidConfiguration},
      {.Name = "an empty architecture set", .Document = Doc(Launch(Option("o", {}, {}))), .Status = status::InvalidConfiguration},
      {.Name = "X64 in the wrong case", .Document = Doc(Launch(Option("o", {"X64"}, {}))), .Status = status::InvalidConfiguration},
      {.Name = "arm64 in the wrong case", .Document = Doc(Launch(Option("o", {"arm64"}, {}))), .Status = status::InvalidConfiguration},
      {.Name = "an architecture with a blank", .Document = Doc(Launch(Option("o", {"x64 "}, {}))),
       .Status = status::InvalidConfiguration},
      {.Name = "an architecture twice", .Document = Doc(Launch(Option("o", {"x86", "x64", "x86"}, {}))),
       .Status = status::DuplicateEntry},
      {.Name = "an empty architecture", .Document = Doc(Launch(Option("o", {""}, {}))), .Status = status::ElementEmpty},
      {.Name = "two language tag sets",
       .Document = Doc(Launch("<Option Id='o'><ProcessorArchitectureSet><ProcessorArchitecture>x64"
                              "</ProcessorArchitecture></ProcessorArchitectureSet><LanguageTagSet><LanguageTag>"
                              "en-US</LanguageTag></LanguageTagSet><LanguageTagSet><LanguageTag>de-DE"
                              "</LanguageTag></LanguageTagSet>" + kCommands + "</Option>")),
       .Status = status::InvalidConfiguration},
      {.Name = "an empty language tag set",
       .Document = Doc(Launch("<Option Id='o'><ProcessorArchitectureSet><ProcessorArchitecture>x64"
                              "</ProcessorArchitecture></ProcessorArchitectureSet><LanguageTagSet/>" + kCommands +
                              "</Option>")),
       .Status = status::InvalidConfiguration},
      {.Name = "a tag twice in one set", .Document = Doc(Launch(Option("o", {"x86"}, {"en-US", "de-DE", "en-US"}))),
       .Status = status::DuplicateEntry},
      // Options that fit the machine.
      {.Name = "a neutral x64 Option beside a tagged one, on x64",
       .Document = Doc(Launch(Option("a", {"x64"}, {"en-US"}) + Option("b", {"x64"}, {}))), .Status = status::InvalidConfiguration},
      {.Name = "a tagged x64 Option after a neutral one, on x64",
       .Document = Doc(Launch(Option("a", {"x64"}, {}) + Option("b", {"x64"}, {"en-US"}))), .Status = status::InvalidConfiguration},
      {.Name = "two neutral Options for x86",
       .Document = Doc(Launch(Option("a", {"x86"}, {}) + Option("b", {"x86", "x64"}, {}))), .Native = X86,
       .Status = status::InvalidConfiguration},
      {.Name = "the same tag in two x64 Options, on x64",
       .Document = Doc(Launch(tagged("a", "x64", {"en-US"}) + tagged("b", "x64", {"de-DE", "en-US"}))),
       .Status = status::DuplicateEntry},
      // Commands.
      {.Name = "an Option without Commands",
       .Document = Doc(Launch(Option("o", {"x64"}, {}, ""))), .Status = status::InvalidConfiguration},
      {.Name = "two Commands elements", .Document = Doc(Launch(Option("o", {"x64"}, {}, kCommands + kCommands))),
       .Status = status::InvalidConfiguration},
      {.Name = "Commands without a Command", .Document = Doc(Launch(OptionWithCommand(""))), .Status = status::InvalidConfiguration},
      {.Name = "two Commands whose Ids differ in letter case only",
       .Document = Doc(Launch(OptionWithCommand(CreateProcess("Install") + CreateProcess("install")))),
       .Status = status::InvalidConfiguration},
      {.Name = "a Command without an Id",
       .Document = Doc(Launch(OptionWithCommand("<Command><CreateProcess><Executable>a</Executable>"
                                                "</CreateProcess></Command>"))),
       .Status = status::NotFound},
      {.Name = "two default commands",
       .Document = Doc(Launch(OptionWithCommand(CreateProcess("a") + "<DefaultCommand>a</DefaultCommand>"
                                                                     "<DefaultCommand>a</DefaultCommand>"))),
       .Status = status::InvalidConfiguration},
      {.Name = "a default command naming no command",
       .Document = Doc(Launch(OptionWithCommand(CreateProcess("a") + "<DefaultCommand>b</DefaultCommand>"))),
       .Status = status::NoUniqueMatch},
      {.Name = "a default command with a blank before the id",
       .Document = Doc(Launch(OptionWithCommand(CreateProcess("install") + "<DefaultCommand> install"
                                                                           "</DefaultCommand>"))),
       .Status = status::NoUniqueMatch},
      {.Name = "an empty default command",
       .Document = Doc(Launch(OptionWithCommand(CreateProcess("a") + "<DefaultCommand/>"))),
       .Status = status::ElementEmpty},
      {.Name = "a Command with neither way to run",
       .Document = Doc(Launch(OptionWithCommand("<Command Id='a'><Executable>a</Executable></Command>"))),
       .Status = status::InvalidConfiguration},
      {.Name = "a Command with both ways to run",
       .Document = Doc(Launch(OptionWithCommand("<Command Id='a'><CreateProcess><Executable>a</Executable>"
                                                "</CreateProcess><ShellExecute><Executable>a</Executable>"
                                                "</ShellExecute></Command>"))),
       .Status = status::InvalidConfiguration},
      {.Name = "a Command with two CreateProcess",
       .Document = Doc(Launch(OptionWithCommand("<Command Id='a'><CreateProcess><Executable>a</Executable>"
                                                "</CreateProcess><CreateProcess><Executable>a</Executable>"
                                                "</CreateProcess></Command>"))),
       .Status = status::InvalidConfiguration},
      {.Name = "no executable", .Document = Doc(Launch(OptionWithCommand(
                                     "<Command Id='a'><ShellExecute></ShellExecute></Command>"))),
       .Status = status::InvalidConfiguration},
      {.Name = "two executables",
       .Document = Doc(Launch(OptionWithCommand(CreateProcess("a", "a.exe", "<Executable>b.exe</Executable>")))),
       .Status = status::InvalidConfiguration},
      {.Name = "an executable with an unclosed folder reference",
       .Document = Doc(Launch(OptionWithCommand(CreateProcess("a", "${PROGRAM_FILES\\a.exe")))),
       .Status = status::InvalidConfiguration},
      {.Name = "two argument lists",
       .Document = Doc(Launch(OptionWithCommand(CreateProcess("a", "a.exe",
                                                              "<Arguments>1</Arguments><Arguments>2</Arguments>")))),
       .Status = status::InvalidConfiguration},
      {.Name = "Wait=False on CreateProcess",
       .Document = Doc(Launch(OptionWithCommand("<Command Id='a'><CreateProcess Wait='False'><Executable>a"
                                                "</Executable></CreateProcess></Command>"))),
       .Status = status::InvalidConfiguration},
      {.Name = "AsAdmin on CreateProcess, whatever its value",
       .Document = Doc(Launch(OptionWithCommand("<Command Id='a'><CreateProcess AsAdmin='nonsense'><Executable>a"
                                                "</Executable></CreateProcess></Command>"))),
       .Status = status::InvalidConfiguration},
      {.Name = "WaitForProcessTree on a ShellExecute that does not wait",
       .Document = Doc(Launch(OptionWithCommand("<Command Id='a'><ShellExecute Wait='false'><Executable>a</Executable>"
                                                "<WaitForProcessTree>true</WaitForProcessTree></ShellExecute>"
                                                "</Command>"))),
       .Status = status::InvalidConfiguration},
      {.Name = "Wait=1 on ShellExecute",
       .Document = Doc(Launch(OptionWithCommand("<Command Id='a'><ShellExecute Wait='1'><Executable>a"
                                                "</Executable></ShellExecute></Command>"))),
       .Status = status::InvalidConfiguration},
  };
}

const CfgCommand* FindCommand(const CfgCommands& commands, const std::wstring& id) {
  const auto found = commands.CommandsById.find(id);
  return found != commands.CommandsById.end() ? found->second.get() : nullptr;
}

void CheckAccepted(const Row& row, const Cfg& cfg) {
  if (row.Section == 'E') {
    ASSERT_TRUE(cfg.Extract);
    EXPECT_FALSE(cfg.Launch);
    EXPECT_EQ(cfg.Extract->TargetPath, row.TargetPath);
    EXPECT_EQ(cfg.Extract->FolderSelectionDialogEnabled, row.FolderDialog);
    EXPECT_EQ(cfg.Extract->ProgressDialogEnabled, row.ProgressDialog);
    return;
  }
  ASSERT_EQ(row.Section, 'L');
  ASSERT_TRUE(cfg.Launch);
  EXPECT_FALSE(cfg.Extract);
  const CfgLaunch& launch = *cfg.Launch;
  EXPECT_EQ(launch.ProgressDialogEnabled, row.ProgressDialog);
  EXPECT_EQ(launch.LanguageSelectionDialogEnabled, row.LanguageDialog);
  ASSERT_TRUE(launch.Options);
  const CfgOptions& options = *launch.Options;
  EXPECT_EQ(options.MatchingOptionIds, row.MatchingIds);
  ASSERT_TRUE(options.MatchingLanguageTags);
  EXPECT_EQ(options.MatchingLanguageTags->Tags, row.MatchingTags);
  EXPECT_EQ(options.HasLanguageNeutralOption, row.LanguageNeutral);
  if (row.MatchingIds.empty()) return;

  const CfgOption& option = *options.OptionsById.at(row.MatchingIds.front());
  ASSERT_TRUE(option.Commands);
  EXPECT_EQ(option.Commands->DefaultCommand, row.DefaultCommand);
  const CfgCommand* command =
      FindCommand(*option.Commands, row.CheckedCommand.empty() ? row.DefaultCommand : row.CheckedCommand);
  ASSERT_NE(command, nullptr);
  EXPECT_EQ(command->Executable, row.Executable);
  EXPECT_EQ(command->Arguments, row.Arguments);
  EXPECT_EQ(command->Wait, row.Wait);
  EXPECT_EQ(command->AsAdmin, row.AsAdmin);
  EXPECT_EQ(command->WaitForProcessTree, row.WaitForProcessTree);
}

TEST(ParseConfiguration, Documents) {
  std::vector<Row> rows = AcceptedRows();
  for (Row& row : RejectedRows()) rows.push_back(std::move(row));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    Cfg cfg;
    ASSERT_EQ(ParseConfiguration(row.Document.c_str(), cfg, row.Native), row.Status) << std::hex << row.Status;
    EXPECT_EQ(cfg.Title, row.Title);
    if (row.Status == status::Ok) CheckAccepted(row, cfg);
  }
}

TEST(ParseConfiguration, LaunchStubsUnpackIntoAFreshTemporaryFolder) {
  const std::string document = Doc(Launch(Option("o", {"x86", "x64"}, {})));
  Cfg first;
  Cfg second;
  ASSERT_EQ(ParseConfiguration(document.c_str(), first, X64), status::Ok);
  ASSERT_EQ(ParseConfiguration(document.c_str(), second, X64), status::Ok);
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  for (const Cfg* cfg : {&first, &second}) {
    const std::wstring& path = cfg->Launch->TargetPath;
    EXPECT_EQ(path.rfind(temp, 0), 0u) << "under the temporary folder";
    EXPECT_EQ(path.size(), wcslen(temp) + 38) << "one GUID-named folder deep";
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES) << "nothing is created yet";
  }
  EXPECT_NE(first.Launch->TargetPath, second.Launch->TargetPath);
}

TEST(ParseConfiguration, ParentLinksAndIds) {
  Cfg cfg;
  ASSERT_EQ(ParseConfiguration(SampleLayout().c_str(), cfg, X64), status::Ok);
  EXPECT_EQ(cfg.Parent, nullptr);
  EXPECT_TRUE(cfg.Id.empty());
  const CfgLaunch& launch = *cfg.Launch;
  EXPECT_EQ(launch.Parent, &cfg);
  const CfgOptions& options = *launch.Options;
  EXPECT_EQ(options.Parent, &launch);
  EXPECT_EQ(options.MatchingLanguageTags->Parent, &options);
  ASSERT_EQ(options.OptionsById.size(), 4u);
  for (const auto& [id, option] : options.OptionsById) {
    SCOPED_TRACE(testing::PrintToString(id));
    EXPECT_EQ(option->Id, id);
    EXPECT_EQ(option->Parent, &options);
    EXPECT_EQ(option->LanguageTagSet->Parent, option.get());
    EXPECT_EQ(option->ProcessorArchitectureSet->Parent, option.get());
    EXPECT_EQ(option->Commands->Parent, option.get());
    EXPECT_EQ(option->Commands->CommandsById.size(), 6u);
    for (const auto& [commandId, command] : option->Commands->CommandsById) {
      EXPECT_EQ(command->Id, commandId);
      EXPECT_EQ(command->Parent, option->Commands.get());
    }
  }
}

TEST(ParseConfiguration, ALaterDocumentReplacesTheSections) {
  Cfg cfg;
  ASSERT_EQ(ParseConfiguration(Doc("<Extract/>").c_str(), cfg, X64), status::Ok);
  ASSERT_EQ(ParseConfiguration(Doc(Launch(Option("o", {"x64"}, {}))).c_str(), cfg, X64), status::Ok);
  EXPECT_FALSE(cfg.Extract);
  EXPECT_TRUE(cfg.Launch);
  EXPECT_EQ(ParseConfiguration("<broken", cfg, X64), status::XmlParseError);
  EXPECT_FALSE(cfg.Extract) << "nothing of an earlier document survives a failed one";
  EXPECT_FALSE(cfg.Launch);
  EXPECT_EQ(ParseConfiguration(nullptr, cfg, X64), status::XmlParseError);
}

TEST(InstallDefaultConfiguration, ExtractsIntoTheWorkingFolder) {
  struct Row {
    const wchar_t* TitleText;
    std::wstring Title;
  };
  const Row rows[] = {{L"", L"config_tests Self Extractor"}, {L"Given", L" Self Extractor"}};
  for (const Row& row : rows) {
    Cfg cfg;
    cfg.Launch = std::make_shared<CfgLaunch>(&cfg);
    ASSERT_EQ(InstallDefaultConfiguration(cfg, row.TitleText), status::Ok);
    EXPECT_EQ(cfg.Title, row.Title) << "a given title text leaves the caption to its caller";
    EXPECT_FALSE(cfg.Launch);
    ASSERT_TRUE(cfg.Extract);
    EXPECT_EQ(cfg.Extract->Parent, &cfg);
    EXPECT_EQ(cfg.Extract->TargetPath, CurrentFolder());
    EXPECT_TRUE(cfg.Extract->FolderSelectionDialogEnabled);
    EXPECT_TRUE(cfg.Extract->ProgressDialogEnabled);
  }
}

}  // namespace
