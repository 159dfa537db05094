// SPDX-License-Identifier: Apache-2.0
// The shipped examples and the documents the schema check judges, through
// the stub's own loader: the schema and the loader must agree on them.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "config/cfg.h"
#include "support/vm_status_table.h"
#include "tests/tools/process_runner.h"

namespace {

using velmora::ProcessorArchitecture;

struct Document {
  std::wstring Path;
  std::string Text;
};

// A file's whole text.
std::string ReadText(const std::wstring& path) {
  std::ifstream file(path.c_str(), std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::wstring SourcePath(const char* path) {
  return testing_tools::HostPathToWindows(std::string(VM_SOURCE_DIR) + "/" + path);
}

// Every *.xml of a folder of the source tree, in name order.
std::vector<Document> Documents(const char* folder) {
  const std::wstring base = SourcePath(folder) + L"\\";
  std::vector<Document> documents;
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((base + L"*.xml").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return documents;
  do {
    const std::wstring path = base + found.cFileName;
    documents.push_back({path, ReadText(path)});
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

// One code of the exit-code table in docs/exit-codes.md: its name and
// whether the table gives a message box for it ("-": it never ends a run).
struct DocumentedCode {
  std::string Name;
  bool ExitCode;
};

// The rows of the first table of docs/exit-codes.md, by code. A row may name
// several codes and their names in the same order; the family of C runtime
// errors (0xE001xxxx) is no single code and is left out.
std::map<std::uint32_t, DocumentedCode> ExitCodeTable() {
  std::istringstream text(ReadText(SourcePath("docs/exit-codes.md")));
  std::map<std::uint32_t, DocumentedCode> codes;
  std::string line;
  bool inTable = false;
  while (std::getline(text, line)) {
    if (line.starts_with("| Exit code | Name |")) {
      inTable = true;
      continue;
    }
    if (!inTable || line.starts_with("|---")) continue;
    if (!line.starts_with("|")) break;
    std::vector<std::string> cells;
    for (std::size_t at = 1, end; (end = line.find('|', at)) != std::string::npos; at = end + 1) {
      cells.push_back(line.substr(at, end - at));
    }
    if (cells.size() < 4) continue;
    const auto list = [](const std::string& cell) {
      std::vector<std::string> items;
      std::istringstream in(cell);
      for (std::string item; std::getline(in, item, ',');) {
        const std::size_t first = item.find_first_not_of(' '), last = item.find_last_not_of(' ');
        if (first != std::string::npos) items.push_back(item.substr(first, last - first + 1));
      }
      return items;
    };
    const std::vector<std::string> numbers = list(cells[0]), names = list(cells[1]);
    const bool exitCode = list(cells[3]) != std::vector<std::string>{"-"};
    for (std::size_t i = 0; i < numbers.size(); ++i) {
      const bool hex = numbers[i].starts_with("0x") && numbers[i].size() == 10 &&
                       numbers[i].find_first_not_of("0123456789ABCDEF", 2) == std::string::npos;
      if (!hex && numbers[i] != "0") continue;
      codes[static_cast<std::uint32_t>(std::stoul(numbers[i], nullptr, 16))] = {i < names.size() ? names[i] : "",
                                                                               exitCode};
    }
  }
  return codes;
}

// Every status in the table has its row in the document, under its name and
// with or without a message box as it may end a run or not; the document
// names no code that the table lacks.
TEST(DocumentFiles, ExitCodesDocumentTheStatusTable) {
  std::map<std::uint32_t, DocumentedCode> documented = ExitCodeTable();
  ASSERT_GE(documented.size(), 30u);
  for (const velmora::VMStatusRow& row : velmora::kStatusTable) {
    SCOPED_TRACE(row.Name);
    const auto found = documented.find(row.Code);
    if (found == documented.end()) {
      ADD_FAILURE() << std::hex << "0x" << row.Code << " is missing from docs/exit-codes.md";
      continue;
    }
    EXPECT_EQ(found->second.Name, row.Name);
    EXPECT_EQ(found->second.ExitCode, row.ExitCode) << "the message box column says whether a run ends with it";
    documented.erase(found);
  }
  for (const auto& [code, entry] : documented) {
    ADD_FAILURE() << std::hex << "docs/exit-codes.md names 0x" << code << " (" << entry.Name
                  << "), which support/vm_status_table.h lacks";
  }
}

}  // namespace
