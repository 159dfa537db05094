// SPDX-License-Identifier: Apache-2.0
// The names of a payload's items taken together, as Windows sees them.
//
// Each item may be fine on its own and still collide with another once
// written: Windows does not tell names apart by letter case, and a file
// cannot be a folder as well. The stub would then lose one item's data or
// fail half-way, so the packer refuses such payloads.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

class ItemNames {
 public:
  // `path` as the library reports it (`\` or `/` separators).
  void Add(const std::wstring& path, bool isDirectory);

  // True, with a one-line description in `error`, when two items name the
  // same place (folders named twice are fine) or a file has items below it.
  [[nodiscard]] bool FindConflict(std::wstring& error) const;

 private:
  struct Item {
    std::wstring Path;
    bool IsDirectory;
  };
  std::vector<Item> items_;
  // The items' places in one letter case, to the first item of each.
  std::unordered_map<std::wstring, std::size_t> places_;
};
