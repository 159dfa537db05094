// SPDX-License-Identifier: Apache-2.0
#include "support/vm_win_guid.h"

#include <objbase.h>

#include <iterator>

namespace velmora {

std::wstring VMWinGuidToString(const GUID& guid) {
  wchar_t text[40] = {};
  if (StringFromGUID2(guid, text, static_cast<int>(std::size(text))) == 0) return {};
  return text;
}

}  // namespace velmora
