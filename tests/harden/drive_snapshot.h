// SPDX-License-Identifier: Apache-2.0
// Everything on a drive as a comparable value, to prove that a campaign
// changed nothing outside the places it lets the stub write to.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace harden {

struct SnapshotEntry {
  DWORD Attributes = 0;
  ULONGLONG Size = 0;
  ULONGLONG Modified = 0;  // files only
  std::uint64_t ContentHash = 0;  // 0 unless contents are hashed
  bool operator==(const SnapshotEntry&) const = default;
};

using Snapshot = std::map<std::wstring, SnapshotEntry>;

// Every file and folder below `root` but the folders in `skipped` (full
// paths, compared without regard to letter case), with their attributes,
// and the files with their sizes, last-write times and, with `hashContents`,
// their contents. A folder's time changes whenever anything comes and goes
// in it (Wine's own helpers use the temporary folder), so it is left out.
// Links are listed, never followed.
[[nodiscard]] Snapshot TakeSnapshot(const std::wstring& root, const std::vector<std::wstring>& skipped,
                                    bool hashContents);

// The paths that differ between two snapshots (added, removed or changed),
// at most `limit` of them.
[[nodiscard]] std::vector<std::wstring> SnapshotChanges(const Snapshot& before, const Snapshot& after,
                                                        std::size_t limit = 20);

}  // namespace harden
