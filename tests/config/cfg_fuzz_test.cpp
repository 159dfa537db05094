// SPDX-License-Identifier: Apache-2.0
// Mutated documents through the loader: flipped bytes, cut-off texts,
// duplicated and dropped elements. None may crash it, every answer must be
// success or one of the loader's own statuses, and every accepted document
// must leave a tree the run sequence can rely on.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "config/cfg.h"
#include "support/vm_xml_document.h"
#include "tests/tools/harden_scale.h"

namespace {

using velmora::ProcessorArchitecture;
using velmora::VMStatus;

// The hardening campaign (VM_HARDEN_SCALE=full) runs it at full length.
const int kIterations = testing_tools::HardenAtFullScale() ? 100000 : 3000;

const char kLaunchSeed[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<SelfExtractor FormatVersionMajor="3" FormatVersionMinor="1">
  <Title>Example &amp; Co 1.0</Title>
  <Launch>
    <ProgressDialog><Enabled>true</Enabled></ProgressDialog>
    <LanguageSelectionDialog><Enabled>False</Enabled></LanguageSelectionDialog>
    <Options>
      <Option Id="x86-en">
        <ProcessorArchitectureSet><ProcessorArchitecture>x86</ProcessorArchitecture></ProcessorArchitectureSet>
        <LanguageTagSet><LanguageTag>en-US</LanguageTag><LanguageTag>en-GB</LanguageTag></LanguageTagSet>
        <Commands>
          <Command Id="Install"><CreateProcess><Executable>msiexec.exe</Executable><Arguments>/i a.msi</Arguments></CreateProcess></Command>
          <Command Id="Readme"><ShellExecute Wait="false" AsAdmin="False"><Executable>${PROGRAM_FILES}\V\readme.txt</Executable></ShellExecute></Command>
          <DefaultCommand>install</DefaultCommand>
        </Commands>
      </Option>
      <Option Id="x64-en">
        <ProcessorArchitectureSet><ProcessorArchitecture>x64</ProcessorArchitecture><ProcessorArchitecture>ARM64</ProcessorArchitecture></ProcessorArchitectureSet>
        <LanguageTagSet><LanguageTag>en-US</LanguageTag></LanguageTagSet>
        <Commands>
          <Command Id="Install"><CreateProcess><Executable>%SystemRoot%\System32\msiexec.exe</Executable><Arguments><![CDATA[/i "b.msi"]]></Arguments></CreateProcess></Command>
          <Command Id="Repair"><ShellExecute Wait="TRUE" AsAdmin="true"><Executable>msiexec.exe</Executable><Arguments>/f b.msi</Arguments></ShellExecute></Command>
          <DefaultCommand>INSTALL</DefaultCommand>
        </Commands>
      </Option>
      <Option Id="x64-de">
        <ProcessorArchitectureSet><ProcessorArchitecture>x64</ProcessorArchitecture></ProcessorArchitectureSet>
        <LanguageTagSet><LanguageTag>de-DE</LanguageTag></LanguageTagSet>
        <Commands><Command Id="Install"><CreateProcess><Executable>msiexec.exe</Executable></CreateProcess></Command></Commands>
      </Option>
    </Options>
  </Launch>
</SelfExtractor>
)";

const char kExtractSeed[] = "\xEF\xBB\xBF" R"(<SelfExtractor FormatVersionMajor="3" FormatVersionMinor="0">
  <!-- a comment -->
  <Title><![CDATA[Tools <Setup>]]></Title>
  <Extract>
    <ProgressDialog><Enabled>FALSE</Enabled></ProgressDialog>
    <FolderSelectionDialog><Enabled>true</Enabled></FolderSelectionDialog>
    <TargetPath>%TEMP%\Tools</TargetPath>
  </Extract>
</SelfExtractor>
)";

namespace status = velmora::status;

const std::set<VMStatus> kLoaderStatuses = {
    status::Ok,
    status::OutOfMemory,
    status::ElementEmpty,
    status::NotFound,
    status::DuplicateEntry,
    status::InvalidConfiguration,
    status::NoUniqueMatch,
    status::XmlParseError,
};

// The document printed back from tinyxml2 after one element of it was
// duplicated or removed.
std::string MutateElement(const std::string& text, std::mt19937& random, bool duplicate) {
  tinyxml2::XMLDocument document(true, tinyxml2::PRESERVE_WHITESPACE);
  if (document.Parse(text.c_str()) != tinyxml2::XML_SUCCESS) return text;
  std::vector<tinyxml2::XMLElement*> elements;
  std::vector<tinyxml2::XMLElement*> pending{document.RootElement()};
  while (!pending.empty()) {
    tinyxml2::XMLElement* element = pending.back();
    pending.pop_back();
    if (element == nullptr) continue;
    elements.push_back(element);
    for (auto* child = element->FirstChildElement(); child != nullptr; child = child->NextSiblingElement()) {
      pending.push_back(child);
    }
  }
  if (elements.empty()) return text;
  tinyxml2::XMLElement* chosen = elements[random() % elements.size()];
  tinyxml2::XMLNode* parent = chosen->Parent();
  if (duplicate) {
    parent->InsertAfterChild(chosen, chosen->DeepClone(&document));
  } else {
    parent->DeleteChild(chosen);
  }
  tinyxml2::XMLPrinter printer(nullptr, true);
  document.Print(&printer);
  return printer.CStr();
}

std::string Mutate(std::string text, std::mt19937& random) {
  const int rounds = 1 + static_cast<int>(random() % 3);
  for (int round = 0; round < rounds && !text.empty(); ++round) {
    // Most byte changes break the XML itself; element changes reach the
    // loader's own checks, so they come more often.
    switch (random() % 8) {
      case 0:  // one bit
        text[random() % text.size()] ^= static_cast<char>(1u << (random() % 8));
        break;
      case 1:  // one byte, any value but the terminator
        text[random() % text.size()] = static_cast<char>(1 + random() % 255);
        break;
      case 2:  // cut off
        text.resize(random() % text.size());
        break;
      case 3:
      case 4:
      case 5: text = MutateElement(text, random, true); break;
      default: text = MutateElement(text, random, false); break;
    }
  }
  return text;
}

// What the run sequence takes for granted in an accepted document.
void CheckTree(const Cfg& cfg) {
  ASSERT_NE(static_cast<bool>(cfg.Extract), static_cast<bool>(cfg.Launch)) << "exactly one section";
  if (cfg.Extract) {
    EXPECT_FALSE(cfg.Extract->TargetPath.empty());
    return;
  }
  ASSERT_TRUE(cfg.Launch->Options);
  const CfgOptions& options = *cfg.Launch->Options;
  ASSERT_TRUE(options.MatchingLanguageTags);
  EXPECT_FALSE(options.OptionsById.empty());
  if (options.HasLanguageNeutralOption) {
    EXPECT_EQ(options.MatchingOptionIds.size(), 1u);
  }
  std::set<std::wstring> tags;
  for (const std::wstring& id : options.MatchingOptionIds) {
    const auto option = options.OptionsById.find(id);
    ASSERT_NE(option, options.OptionsById.end());
    const CfgCommands& commands = *option->second->Commands;
    EXPECT_FALSE(commands.CommandsById.empty());
    if (!commands.DefaultCommand.empty()) {
      EXPECT_TRUE(commands.CommandsById.contains(commands.DefaultCommand));
    }
    for (const std::wstring& tag : option->second->LanguageTagSet->Tags) {
      EXPECT_TRUE(tags.insert(tag).second) << "a language stands for one Option only";
    }
  }
  EXPECT_EQ(tags, options.MatchingLanguageTags->Tags);
}

TEST(ParseConfiguration, SurvivesMutatedDocuments) {
  const ProcessorArchitecture machines[] = {ProcessorArchitecture::X86, ProcessorArchitecture::X64,
                                            ProcessorArchitecture::ARM64};
  const std::string seeds[] = {kLaunchSeed, kExtractSeed};
  for (const std::string& seed : seeds) {
    Cfg cfg;
    ASSERT_EQ(ParseConfiguration(seed.c_str(), cfg, ProcessorArchitecture::X64), 0u) << "the seeds are valid";
  }

  std::mt19937 random(20240611);
  std::map<VMStatus, int> seen;
  const DWORD start = GetTickCount();
  for (int i = 0; i < kIterations; ++i) {
    const std::string text = Mutate(seeds[i % 2], random);
    Cfg cfg;
    const VMStatus status = ParseConfiguration(text.c_str(), cfg, machines[i % 3]);
    ++seen[status];
    ASSERT_TRUE(kLoaderStatuses.contains(status)) << std::hex << status << "\n" << text;
    if (status == 0) {
      SCOPED_TRACE(text);
      CheckTree(cfg);
      if (HasFailure()) return;
    }
  }
  const DWORD elapsed = GetTickCount() - start;
  std::printf("harden: documents-loader: cases %d, crashes 0, undocumented 0, ms %lu, statuses {", kIterations, elapsed);
  const char* separator = "";
  for (const auto& [status, count] : seen) {
    std::printf("%s0x%08X: %d", separator, static_cast<unsigned>(status), count);
    separator = ", ";
  }
  std::printf("}\n");
  EXPECT_GT(seen[0], 0) << "some mutations must still be valid documents";
  EXPECT_GT(seen.size(), 4u) << "and the others must reach many different checks";
}

}  // namespace
