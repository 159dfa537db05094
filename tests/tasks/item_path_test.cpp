// Which archive item paths may be written below the target folder.
#include <gtest/gtest.h>

#include "tasks/item_path.h"

namespace {

struct PathCase {
  const char* name;
  const wchar_t* path;
  bool safe;
};

TEST(ItemPath, RefusesEveryWayOutOfTheTargetFolder) {
  const PathCase cases[] = {
      {.name = "plain file", .path = L"setup.msi", .safe = true},
      {.name = "nested with backslashes", .path = L"a\\b\\c.txt", .safe = true},
      {.name = "nested with slashes", .path = L"a/b/c.txt", .safe = true},
      {.name = "dots inside names", .path = L"a..b/.hidden/x..", .safe = true},
      {.name = "current folder element", .path = L"./a/./b", .safe = true},
      {.name = "doubled separator", .path = L"a//b", .safe = true},
      {.name = "Unicode name", .path = L"\u00e4\u4e2d/\u0444.txt", .safe = true},
      {.name = "empty", .path = L"", .safe = true},
      {.name = "parent at the start", .path = L"../x", .safe = false},
      {.name = "parent after descending", .path = L"a/../../x", .safe = false},
      {.name = "parent with backslashes", .path = L"a\\..\\x", .safe = false},
      {.name = "parent as the whole path", .path = L"..", .safe = false},
      {.name = "parent at the end", .path = L"a/..", .safe = false},
      {.name = "three dots", .path = L"a/.../x", .safe = false},
      {.name = "parent with trailing space", .path = L"a/.. /x", .safe = false},
      {.name = "rooted backslash", .path = L"\\windows\\x", .safe = false},
      {.name = "rooted slash", .path = L"/etc/x", .safe = false},
      {.name = "drive absolute", .path = L"C:\\x", .safe = false},
      {.name = "drive relative", .path = L"C:x", .safe = false},
      {.name = "UNC", .path = L"\\\\server\\share\\x", .safe = false},
      {.name = "device prefix", .path = L"\\\\?\\C:\\x", .safe = false},
      {.name = "alternate data stream", .path = L"x:stream", .safe = false},
      {.name = "stream on a nested file", .path = L"a/x::$DATA", .safe = false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsSafeItemPath(c.path), c.safe) << c.name;
  }
}

}  // namespace
