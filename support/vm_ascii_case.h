// SPDX-License-Identifier: Apache-2.0
// ASCII letter case for names and keywords that users may write in any case.
// Only A to Z and a to z are folded; every other character stays as it is,
// whatever the user's locale.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

template <typename Char>
[[nodiscard]] constexpr Char VMAsciiToLower(Char c) {
  return c >= Char('A') && c <= Char('Z') ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}

template <typename Char>
void VMAsciiLowerInPlace(std::basic_string<Char>& text) {
  for (Char& c : text) c = VMAsciiToLower(c);
}

// Equal length, and each pair of characters identical or the same ASCII
// letter in the other case.
template <typename Char>
[[nodiscard]] constexpr bool VMEqualsIgnoringAsciiCase(std::basic_string_view<Char> a,
                                                       std::basic_string_view<Char> b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (VMAsciiToLower(a[i]) != VMAsciiToLower(b[i])) return false;
  }
  return true;
}

}  // namespace velmora
