// SPDX-License-Identifier: Apache-2.0
// Language tags as configurations write them, read into their subtags and
// checked against the locales Windows knows.
#include <gtest/gtest.h>

#include "support/vm_language_info.h"

namespace {

TEST(LanguageTag, SubtagsAndLocaleName) {
  struct Row {
    const char* Name;
    const wchar_t* Tag;
    velmora::VMStatus Status;
    const wchar_t* Language = L"";
    const wchar_t* Script = L"";
    const wchar_t* Region = L"";
    const wchar_t* Locale = L"";
    const wchar_t* EnglishName = L"";
  };
  const Row rows[] = {
      {"language and region", L"de-DE", 0, L"de", L"", L"DE", L"de-DE", L"German (Germany)"},
      {"an underscore separates too", L"zh_CN", 0, L"zh", L"", L"CN", L"zh-CN"},
      {"a script after the region moves before it", L"sr-RS-Latn", 0, L"sr", L"Latn", L"RS", L"sr-Latn-RS"},
      {"a repeated region is fine", L"en-US-US", 0, L"en", L"", L"US", L"en-US"},
      {"letter case stays", L"en-us", 0, L"en", L"", L"us", L"en-us", L"English (United States)"},
      {"a second subtag of another length ends the reading", L"en-USA-GB", 0, L"en", L"", L"", L"en", L"English"},
      {"a contradicting region", L"en-US-GB", 0xEE000051},
      {"a contradicting script", L"sr-Latn-Cyrl", 0xEE000051},
      {"a first subtag too long", L"engl-US", 0xEE000051},
      {"a first subtag too short", L"e", 0xEE000051},
      {"empty", L"", 0xEE000051},
      {"a locale Windows does not know", L"xx-YY", 0xEE000041},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    velmora::LanguageInfo info;
    EXPECT_EQ(info.ParseLanguageTag(row.Tag), row.Status);
    EXPECT_EQ(info.Tag, row.Tag);
    if (row.Status != 0) continue;
    EXPECT_EQ(info.Language, row.Language);
    EXPECT_EQ(info.Script, row.Script);
    EXPECT_EQ(info.Region, row.Region);
    EXPECT_EQ(info.LocaleName(), row.Locale);
    if (*row.EnglishName != 0) {
      EXPECT_EQ(info.EnglishName, row.EnglishName);
    }
    EXPECT_FALSE(info.LocalizedName.empty());
  }
}

}  // namespace
