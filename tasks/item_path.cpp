#include "tasks/item_path.h"

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// An element such as "..", "..." or ".. " that Windows may resolve to the
// parent folder once it has dropped trailing dots and spaces.
bool IsParentLike(std::wstring_view element) {
  std::size_t dots = 0;
  for (const wchar_t c : element) {
    if (c == L'.') {
      ++dots;
    } else if (c != L' ') {
      return false;
    }
  }
  return dots >= 2;
}

}  // namespace

bool IsSafeItemPath(std::wstring_view path) {
  if (!path.empty() && IsSeparator(path.front())) return false;
  if (path.find(L':') != std::wstring_view::npos) return false;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    if (IsParentLike(path.substr(start, end - start))) return false;
    start = end + 1;
  }
  return true;
}
