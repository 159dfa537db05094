// SPDX-License-Identifier: Apache-2.0
// The shipped examples and the documents the schema check judges, through
// the stub's own loader: the schema and the loader must agree on them.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "config/cfg.h"
#include "tests/tools/process_runner.h"

namespace {

using velmora::ProcessorArchitecture;

struct Document {
  std::wstring Path;
  std::string Text;
};

// Every *.xml of a folder of the source tree, in name order.
std::vector<Document> Documents(const char* folder) {
  const std::wstring base = testing_tools::HostPathToWindows(std::string(VM_SOURCE_DIR) + "/" + folder) + L"\\";
  std::vector<Document> documents;
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((base + L"*.xml").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return documents;
  do {
    Document document{base + found.cFileName, {}};
    std::ifstream file(document.Path.c_str(), std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    document.Text = text.str();
    documents.push_back(std::move(document));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return documents;
}

// The status a rejected document names at the end of its first-line comment:
// "<!-- rejected: what is wrong; 0xEE000051 -->".
unsigned long NamedStatus(const std::string& text) {
  const std::string firstLine = text.substr(0, text.find('\n'));
  const std::size_t at = firstLine.rfind("0x");
  return at == std::string::npos ? 0 : std::strtoul(firstLine.c_str() + at, nullptr, 16);
}

constexpr ProcessorArchitecture kMachines[] = {ProcessorArchitecture::X86, ProcessorArchitecture::X64,
                                               ProcessorArchitecture::ARM64};

TEST(DocumentFiles, ExamplesAndAcceptedDocumentsLoadOnEveryMachine) {
  std::vector<Document> documents = Documents("examples");
  const std::vector<Document> accepted = Documents("tests/config/accepted");
  documents.insert(documents.end(), accepted.begin(), accepted.end());
  ASSERT_GE(documents.size(), 3u);
  for (const Document& document : documents) {
    for (const ProcessorArchitecture machine : kMachines) {
      SCOPED_TRACE(testing::PrintToString(document.Path) + " machine " + std::to_string(static_cast<int>(machine)));
      Cfg cfg;
      EXPECT_EQ(ParseConfiguration(document.Text.c_str(), cfg, machine), velmora::status::Ok);
    }
  }
}

TEST(DocumentFiles, RejectedDocumentsFailWithTheStatusTheyName) {
  const std::vector<Document> documents = Documents("tests/config/rejected");
  ASSERT_GE(documents.size(), 10u);
  for (const Document& document : documents) {
    SCOPED_TRACE(testing::PrintToString(document.Path));
    const unsigned long expected = NamedStatus(document.Text);
    ASSERT_NE(expected, 0u) << "the first line names the status";
    for (const ProcessorArchitecture machine : kMachines) {
      Cfg cfg;
      EXPECT_EQ(static_cast<unsigned long>(ParseConfiguration(document.Text.c_str(), cfg, machine)), expected)
          << std::hex << "machine " << static_cast<int>(machine);
    }
  }
}

}  // namespace
