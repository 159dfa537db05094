// SPDX-License-Identifier: Apache-2.0
// One language a user can be offered: a tag as a configuration writes it,
// split into its subtags, with the names Windows gives the locale.
#pragma once

#include <string>

#include "support/vm_status.h"

namespace velmora {

class LanguageInfo {
 public:
  // As written in the configuration; an empty tag stands for no language.
  std::wstring Tag;
  std::wstring Language;  // 2 or 3 characters
  std::wstring Region;    // 2 characters, or empty
  std::wstring Script;    // 4 characters, or empty
  // "English (United States)"
  std::wstring EnglishName;
  // The same in the user's display language.
  std::wstring LocalizedName;

  // Fills every field from `tag`. Subtags are separated by "-" or "_" and
  // keep their letter case. InvalidConfiguration for a first subtag that is
  // not 2 or 3 characters long, or a third subtag that contradicts the
  // second; InvalidValue when Windows knows no such locale; any other
  // failure of the locale data comes back as its Windows error.
  [[nodiscard]] VMStatus ParseLanguageTag(const std::wstring& tag);

  // Only the subtags: Tag, Language, Region and Script, under the rules of
  // ParseLanguageTag, without asking Windows about the locale.
  [[nodiscard]] VMStatus ParseSubtags(const std::wstring& tag);

  // The locale name Windows understands: language, then script, then region.
  [[nodiscard]] std::wstring LocaleName() const;
};

}  // namespace velmora
