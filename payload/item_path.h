// SPDX-License-Identifier: Apache-2.0
// The rule that keeps every archive item inside the target folder and out of
// the devices Windows reaches through plain file names.
//
// Item paths are joined to the target folder as stored, so a path that could
// name a place elsewhere is refused before anything is written for it. The
// packer applies the same rule, so it never builds an installer whose payload
// the stub would refuse.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Why an item path (with `\` or `/` separators) may not be written.
enum class ItemPathRisk {
  None,
  // Absolute or rooted (a leading separator, so also a UNC prefix), a drive
  // or other `:` (which would also name an alternate data stream), or an
  // element made of dots and spaces only: "." is the target folder itself,
  // and Windows drops trailing dots and spaces from a name, so ". .", "..."
  // and ".. " could reach the parent as well as "..".
  LeavesTarget,
  // An element Windows opens as a device instead of a file: CON, PRN, AUX,
  // NUL, COM0-COM9, LPT0-LPT9 (also with the digits ¹ ² ³), CONIN$ or
  // CONOUT$, in any letter case, also with an extension or trailing dots or
  // spaces ("nul.txt", "Com1 .log"). Writing there would lose the data or
  // send it to a port.
  NamesDevice,
  // An element Windows cannot keep as written: one ending in a dot or a
  // space (plain paths drop them, long-form paths keep them, so the same
  // item would name two different files), or one with a character Windows
  // forbids in names (< > " | ? * and the control characters).
  NotKeptByWindows,
  // At least kItemPathLimit characters: the archive library reports no name
  // for such an item, which would then be written under the default name.
  TooLong,
};

// The name under which the stub writes an item stored without a path.
inline constexpr wchar_t kItemDefaultName[] = L"Default";

// The shortest item path the archive library cannot report.
inline constexpr std::size_t kItemPathLimit = 16383;

[[nodiscard]] ItemPathRisk FindItemPathRisk(std::wstring_view path);

[[nodiscard]] inline bool IsSafeItemPath(std::wstring_view path) {
  return FindItemPathRisk(path) == ItemPathRisk::None;
}

// The item path as the stub writes it below the target folder: `\` between
// the elements (the only separator the long path form takes) and no empty
// elements, such as doubled or trailing separators leave. Written into
// `disk`, whose memory is used again from item to item.
void ItemDiskPath(std::wstring_view path, std::wstring& disk);
[[nodiscard]] inline std::wstring ItemDiskPath(std::wstring_view path) {
  std::wstring disk;
  ItemDiskPath(path, disk);
  return disk;
}

// The archive library reports a `\` stored in an item path as U+F05C, so
// that it cannot separate folders on Windows. Archives written on Windows may
// use it as their separator all the same; the path is judged and written with
// it given back, in place.
void RestoreStoredBackslashes(std::wstring& path);
