// SPDX-License-Identifier: Apache-2.0
// The program's version resource (RT_VERSION 1, language 1033): the texts a
// file's properties show, and the fixed version numbers.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "packer/pe/pe_resources.h"
#include "support/vm_status.h"

// One --version-info word, "KEY=VALUE".
struct VersionSetting {
  std::u16string Key;
  std::u16string Value;
};

// Checks one "KEY=VALUE" word: a known key, a value of 1 to 256 characters,
// and for the two versions either free text or 1 to 4 numbers up to 65535
// joined by dots. A key given twice is refused as well. The reason for a
// refusal is one line in `error`.
[[nodiscard]] velmora::VMStatus AddVersionSetting(const std::wstring& word, std::vector<VersionSetting>& settings,
                                                  std::wstring& error);

// Replaces every version resource of `image` by one with `settings` over the
// texts and numbers of the one it carries (if it can be read).
void SetVersionResource(pe_resources::PeImage& image, const std::vector<VersionSetting>& settings);
