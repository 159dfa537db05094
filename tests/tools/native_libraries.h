// SPDX-License-Identifier: Apache-2.0
// Wine prefers its own builtin libraries to a file of the same name wherever
// that lies; Windows loads the file its search finds first. A planting test
// needs the Windows behaviour, or it would pass because nothing ever loads
// the plant.
#pragma once

#include <string>
#include <vector>

namespace testing_tools {

// While it lives, Wine loads a native file first for each of `libraries`
// (file names such as L"version.dll") in programs named `program` (a file
// name such as L"setup.exe"), through the per-program DllOverrides key. The
// key goes with the object.
class PreferNativeLibraries {
 public:
  PreferNativeLibraries(const std::wstring& program, const std::vector<std::wstring>& libraries);
  ~PreferNativeLibraries();
  PreferNativeLibraries(const PreferNativeLibraries&) = delete;
  PreferNativeLibraries& operator=(const PreferNativeLibraries&) = delete;

  // Whether every override was written.
  [[nodiscard]] bool Ok() const { return ok_; }

 private:
  std::wstring key_;
  bool ok_ = false;
};

}  // namespace testing_tools
