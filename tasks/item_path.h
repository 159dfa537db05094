// The rule that keeps every archive item inside the target folder.
//
// Item paths are joined to the target folder as stored, so a path that could
// name a place elsewhere is refused before anything is written for it. The
// packer applies the same rule, so it never builds an installer whose payload
// the stub would refuse.
#pragma once

#include <string_view>

// True when `path` (with `\` or `/` separators) stays inside the folder it is
// joined to: it is not absolute or rooted (no leading separator, so no UNC
// prefix either), carries no drive or other `:` (which would also name an
// alternate data stream), and has no element made of two or more dots and
// nothing but dots and spaces (Windows drops trailing dots and spaces from a
// name, so ". ." and "..." could reach the parent as well as "..").
[[nodiscard]] bool IsSafeItemPath(std::wstring_view path);
