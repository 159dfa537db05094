// SPDX-License-Identifier: Apache-2.0
#include "packer/archive/item_names.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cwctype>
#endif

#include "payload/item_path.h"

namespace {

// Windows compares names with its own upper-case table, whatever the
// user's language.
std::wstring Place(const std::wstring& path) {
  std::wstring place = ItemDiskPath(path);
#ifdef _WIN32
  if (!place.empty()) {
    LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, place.c_str(), static_cast<int>(place.size()), place.data(),
                  static_cast<int>(place.size()), nullptr, nullptr, 0);
  }
#else
  // Unicode's simple upper case, as the packer's UTF-8 character type gives it.
  for (wchar_t& c : place) c = static_cast<wchar_t>(std::towupper(static_cast<std::wint_t>(c)));
#endif
  return place;
}

}  // namespace

void ItemNames::Add(const std::wstring& path, bool isDirectory) {
  items_.push_back({path, isDirectory});
  places_.try_emplace(Place(path), items_.size() - 1);
}

bool ItemNames::FindConflict(std::wstring& error) const {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    const Item& item = items_[i];
    const std::wstring place = Place(item.Path);
    const Item& first = items_[places_.at(place)];
    if (&first != &item && !(first.IsDirectory && item.IsDirectory)) {
      error = L"the payload items \"" + first.Path + L"\" and \"" + item.Path +
              L"\" name the same file on Windows (letter case does not count there).";
      return true;
    }
    for (std::size_t end = place.find(L'\\'); end != std::wstring::npos; end = place.find(L'\\', end + 1)) {
      const auto above = places_.find(place.substr(0, end));
      if (above != places_.end() && !items_[above->second].IsDirectory) {
        error = L"the payload item \"" + items_[above->second].Path + L"\" is a file, but \"" + item.Path +
                L"\" lies below it.";
        return true;
      }
    }
  }
  return false;
}
