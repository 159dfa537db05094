// SPDX-License-Identifier: Apache-2.0
// A work folder of its own for one test case.
#pragma once

#include <string>

namespace testing_tools {

// Creates a new, empty folder in `parent` (by default the Windows temporary
// folder), named after `prefix` and a fresh GUID so that no two cases (nor
// two runs, nor two processes) ever share one, however fast they follow each
// other. The destructor removes it with everything below it, also when an
// assertion ended the case early. `Path()` is empty when the folder could not
// be made.
class TempFolder {
 public:
  explicit TempFolder(const wchar_t* prefix = L"vmstub-test-", std::wstring parent = {});
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  [[nodiscard]] const std::wstring& Path() const { return path_; }
  // `Path()`, a backslash and `name`.
  [[nodiscard]] std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

}  // namespace testing_tools
