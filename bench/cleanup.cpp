// SPDX-License-Identifier: Apache-2.0
// bench_cleanup ARCHIVE FOLDER RUNS: how long the clean-up task takes to
// remove a freshly unpacked tree, against the least a Win32 program must do
// to remove the same tree (one listing pass per folder, DeleteFileW for each
// file, RemoveDirectoryW for each folder). Every run unpacks ARCHIVE twice
// below FOLDER with the stub's own extraction, one tree for each side, and
// times only the removal; the side that goes first alternates from run to
// run. Prints one line per removal, "task MS" or "plain MS", and "left PATH"
// for a tree that did not go.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/clock.h"
#include "tasks/delete_extracted_files.h"
#include "tasks/extract_files.h"
#include "tasks/extraction_record.h"

namespace {

// The baseline: nothing checked, nothing retried.
void PlainDelete(const std::wstring& folder) {
  struct Entry {
    std::wstring Name;
    bool Folder;
  };
  std::vector<Entry> entries;
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                 FIND_FIRST_EX_LARGE_FETCH);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") entries.push_back({name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (FindNextFileW(find, &found));
    FindClose(find);
  }
  for (const Entry& entry : entries) {
    const std::wstring path = folder + L"\\" + entry.Name;
    if (entry.Folder) {
      PlainDelete(path);
    } else {
      DeleteFileW(path.c_str());
    }
  }
  RemoveDirectoryW(folder.c_str());
}

// Unpacks a fresh tree, removes it one way and prints the time it took.
bool TimeOne(const std::wstring& archive, const std::wstring& tree, bool task) {
  const auto record = std::make_shared<ExtractionRecord>();
  if (ExtractArchive(archive, tree, record.get()) != 0) {
    std::fwprintf(stderr, L"cannot unpack %ls into %ls\n", archive.c_str(), tree.c_str());
    return false;
  }
  const double start = BenchNowMs();
  if (task) {
    DeleteExtractedFiles cleanup;
    cleanup.TargetFolder = tree;
    cleanup.Record = record;
    std::uint32_t exitCode = 0;
    (void)cleanup.run(exitCode);
  } else {
    PlainDelete(tree);
  }
  const double elapsed = BenchNowMs() - start;
  std::printf("%s %.1f\n", task ? "task" : "plain", elapsed);
  if (GetFileAttributesW(tree.c_str()) != INVALID_FILE_ATTRIBUTES) std::printf("left %ls\n", tree.c_str());
  std::fflush(stdout);
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: bench_cleanup ARCHIVE FOLDER RUNS\n");
    return 2;
  }
  const std::wstring archive = argv[1];
  const std::wstring folder = argv[2];
  const int runs = _wtoi(argv[3]);
  for (int run = 0; run < runs; ++run) {
    const std::wstring base = folder + L"\\run" + std::to_wstring(run);
    for (int side = 0; side < 2; ++side) {
      const bool task = (run + side) % 2 == 0;
      if (!TimeOne(archive, base + (task ? L"-task" : L"-plain"), task)) return 1;
    }
  }
  return 0;
}
