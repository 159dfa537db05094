// SPDX-License-Identifier: Apache-2.0
// Which archive item paths may be written below the target folder.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "payload/item_path.h"

namespace {

constexpr ItemPathRisk kSafe = ItemPathRisk::None;
constexpr ItemPathRisk kLeaves = ItemPathRisk::LeavesTarget;
constexpr ItemPathRisk kDevice = ItemPathRisk::NamesDevice;
constexpr ItemPathRisk kUnkept = ItemPathRisk::NotKeptByWindows;
constexpr ItemPathRisk kTooLong = ItemPathRisk::TooLong;

struct PathCase {
  const char* name;
  const wchar_t* path;
  ItemPathRisk risk;
};

TEST(ItemPath, RefusesEveryWayOutOfTheTargetFolderAndIntoADevice) {
  const PathCase cases[] = {
      {.name = "plain file", .path = L"setup.msi", .risk = kSafe},
      {.name = "nested with backslashes", .path = L"a\\b\\c.txt", .risk = kSafe},
      {.name = "nested with slashes", .path = L"a/b/c.txt", .risk = kSafe},
      {.name = "dots inside names", .path = L"a..b/.hidden/x..y", .risk = kSafe},
      {.name = "current folder element", .path = L"./a/./b", .risk = kLeaves},
      {.name = "current folder as the whole path", .path = L".", .risk = kLeaves},
      {.name = "current folder at the end", .path = L"a/.", .risk = kLeaves},
      {.name = "current folder with a trailing space", .path = L"a/. /b", .risk = kLeaves},
      {.name = "trailing dot", .path = L"conf.ini.", .risk = kUnkept},
      {.name = "trailing space", .path = L"conf.ini ", .risk = kUnkept},
      {.name = "trailing dot and space", .path = L"conf.ini. ", .risk = kUnkept},
      {.name = "folder with a trailing dot", .path = L"dir./x", .risk = kUnkept},
      {.name = "folder with a trailing space", .path = L"dir \\x", .risk = kUnkept},
      {.name = "less than", .path = L"a<b", .risk = kUnkept},
      {.name = "greater than", .path = L"a/b>", .risk = kUnkept},
      {.name = "double quote", .path = L"\"a\"", .risk = kUnkept},
      {.name = "bar", .path = L"a|b", .risk = kUnkept},
      {.name = "question mark", .path = L"what?", .risk = kUnkept},
      {.name = "star", .path = L"*.txt", .risk = kUnkept},
      {.name = "tab", .path = L"a\tb", .risk = kUnkept},
      {.name = "line feed in a folder", .path = L"a\nb/c", .risk = kUnkept},
      {.name = "escape character", .path = L"\x1b[0m", .risk = kUnkept},
      {.name = "device wins over an unkept name", .path = L"a?/nul", .risk = kDevice},
      {.name = "leading space and dot are kept", .path = L" .a", .risk = kSafe},
      {.name = "other punctuation", .path = L"a#b%c&d'e+f,g;h=i@j[k]l^m_n`o{p}q~r!s$t(u)", .risk = kSafe},
      {.name = "doubled separator", .path = L"a//b", .risk = kSafe},
      {.name = "Unicode name", .path = L"\u00e4\u4e2d/\u0444.txt", .risk = kSafe},
      {.name = "empty", .path = L"", .risk = kSafe},
      {.name = "parent at the start", .path = L"../x", .risk = kLeaves},
      {.name = "parent after descending", .path = L"a/../../x", .risk = kLeaves},
      {.name = "parent with backslashes", .path = L"a\\..\\x", .risk = kLeaves},
      {.name = "parent as the whole path", .path = L"..", .risk = kLeaves},
      {.name = "parent at the end", .path = L"a/..", .risk = kLeaves},
      {.name = "three dots", .path = L"a/.../x", .risk = kLeaves},
      {.name = "parent with trailing space", .path = L"a/.. /x", .risk = kLeaves},
      {.name = "rooted backslash", .path = L"\\windows\\x", .risk = kLeaves},
      {.name = "rooted slash", .path = L"/etc/x", .risk = kLeaves},
      {.name = "drive absolute", .path = L"C:\\x", .risk = kLeaves},
      {.name = "drive relative", .path = L"C:x", .risk = kLeaves},
      {.name = "UNC", .path = L"\\\\server\\share\\x", .risk = kLeaves},
      {.name = "device prefix", .path = L"\\\\?\\C:\\x", .risk = kLeaves},
      {.name = "alternate data stream", .path = L"x:stream", .risk = kLeaves},
      {.name = "stream on a nested file", .path = L"a/x::$DATA", .risk = kLeaves},
      {.name = "device", .path = L"nul", .risk = kDevice},
      {.name = "device in upper case", .path = L"CON", .risk = kDevice},
      {.name = "device in mixed case", .path = L"aUx", .risk = kDevice},
      {.name = "device with extension", .path = L"nul.txt", .risk = kDevice},
      {.name = "device with two extensions", .path = L"Prn.tar.gz", .risk = kDevice},
      {.name = "device with trailing dots", .path = L"con...", .risk = kDevice},
      {.name = "device with trailing spaces", .path = L"aux  ", .risk = kDevice},
      {.name = "device with spaces before extension", .path = L"nul .txt", .risk = kDevice},
      {.name = "device as a folder", .path = L"dir/prn/x", .risk = kDevice},
      {.name = "device as a folder with backslashes", .path = L"dir\\Nul\\x", .risk = kDevice},
      {.name = "device at the end", .path = L"a/b/lpt9.log", .risk = kDevice},
      {.name = "serial ports", .path = L"COM1", .risk = kDevice},
      {.name = "serial port zero", .path = L"com0.txt", .risk = kDevice},
      {.name = "serial port nine", .path = L"com9", .risk = kDevice},
      {.name = "printer port", .path = L"LPT1", .risk = kDevice},
      {.name = "printer port zero", .path = L"lpt0", .risk = kDevice},
      {.name = "superscript one", .path = L"COM\u00b9", .risk = kDevice},
      {.name = "superscript two", .path = L"lpt\u00b2.txt", .risk = kDevice},
      {.name = "superscript three", .path = L"a/Com\u00b3", .risk = kDevice},
      {.name = "console input", .path = L"CONIN$", .risk = kDevice},
      {.name = "console output", .path = L"conout$.log", .risk = kDevice},
      {.name = "parent wins over device", .path = L"nul/../../x", .risk = kLeaves},
      {.name = "starts like a device", .path = L"console.txt", .risk = kSafe},
      {.name = "port number ten", .path = L"com10", .risk = kSafe},
      {.name = "port letter", .path = L"lptx", .risk = kSafe},
      {.name = "superscript four is no port", .path = L"com\u2074", .risk = kSafe},
      {.name = "longer name", .path = L"nullable", .risk = kSafe},
      {.name = "device name inside", .path = L"my-con.txt", .risk = kSafe},
      {.name = "device name as extension", .path = L"readme.nul", .risk = kSafe},
      {.name = "console without dollar", .path = L"conin", .risk = kSafe},
      {.name = "device in a longer folder name", .path = L"auxiliary/file", .risk = kSafe},
      {.name = "stored backslash joins one name", .path = L"con\uF05Cx", .risk = kSafe},
  };
  const std::wstring longest(kItemPathLimit - 1, L'a');
  const std::wstring tooLong(kItemPathLimit, L'a');
  const std::wstring tooLongNested = std::wstring(kItemPathLimit - 2, L'b') + L"/c";
  const PathCase lengths[] = {
      {.name = "the longest name the library reports", .path = longest.c_str(), .risk = kSafe},
      {.name = "one character more", .path = tooLong.c_str(), .risk = kTooLong},
      {.name = "too long in folders", .path = tooLongNested.c_str(), .risk = kTooLong},
  };
  for (const auto& c : lengths) EXPECT_EQ(FindItemPathRisk(c.path), c.risk) << c.name;
  for (const auto& c : cases) {
    EXPECT_EQ(FindItemPathRisk(c.path), c.risk) << c.name;
    EXPECT_EQ(IsSafeItemPath(c.path), c.risk == kSafe) << c.name;
  }
}

TEST(ItemPath, DiskPathUsesBackslashesOnlyAndNoEmptyElements) {
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"a/b/c.txt", L"a\\b\\c.txt"},
      {L"a\\b", L"a\\b"},
      {L"a//b\\\\c", L"a\\b\\c"},
      {L"dir/", L"dir"},
      {L"x", L"x"},
  };
  for (const auto& [path, disk] : cases) EXPECT_EQ(ItemDiskPath(path), disk) << testing::PrintToString(path);
}

}  // namespace
