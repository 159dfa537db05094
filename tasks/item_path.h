// The rule that keeps every archive item inside the target folder and out of
// the devices Windows reaches through plain file names.
//
// Item paths are joined to the target folder as stored, so a path that could
// name a place elsewhere is refused before anything is written for it. The
// packer applies the same rule, so it never builds an installer whose payload
// the stub would refuse.
#pragma once

#include <string>
#include <string_view>

// Why an item path (with `\` or `/` separators) may not be written.
enum class ItemPathRisk {
  None,
  // Absolute or rooted (a leading separator, so also a UNC prefix), a drive
  // or other `:` (which would also name an alternate data stream), or an
  // element made of two or more dots and nothing but dots and spaces
  // (Windows drops trailing dots and spaces from a name, so ". ." and "..."
  // could reach the parent as well as "..").
  LeavesTarget,
  // An element Windows opens as a device instead of a file: CON, PRN, AUX,
  // NUL, COM0-COM9, LPT0-LPT9 (also with the digits ¹ ² ³), CONIN$ or
  // CONOUT$, in any letter case, also with an extension or trailing dots or
  // spaces ("nul.txt", "Com1 .log"). Writing there would lose the data or
  // send it to a port.
  NamesDevice,
};

[[nodiscard]] ItemPathRisk FindItemPathRisk(std::wstring_view path);

[[nodiscard]] inline bool IsSafeItemPath(std::wstring_view path) {
  return FindItemPathRisk(path) == ItemPathRisk::None;
}

// The archive library reports a `\` stored in an item path as U+F05C, so
// that it cannot separate folders on Windows. Archives written on Windows may
// use it as their separator all the same; the path is judged and written with
// it given back.
[[nodiscard]] std::wstring ItemPathAsStored(std::wstring_view reported);
