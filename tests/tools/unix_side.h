// SPDX-License-Identifier: Apache-2.0
// What only the Unix side under Wine can make for a test: symbolic links
// (Wine's own link calls report success and create nothing), hard links and
// small file systems. Wine starts Unix programs like Windows ones.
#pragma once

#include <string>
#include <vector>

namespace testing_tools {

// The Unix path of a Windows path, or empty when not under Wine.
[[nodiscard]] std::wstring UnixPath(const std::wstring& windowsPath);

// Runs the Unix program `program` (its Windows path, such as Z:\bin\ln) with `arguments`,
// each passed as one word; true when it ran and exited with 0.
[[nodiscard]] bool RunUnix(const std::wstring& program, const std::vector<std::wstring>& arguments);

// `link` becomes a symbolic link to `target` (both Windows paths); a link
// already of that name is replaced.
[[nodiscard]] bool MakeSymbolicLink(const std::wstring& target, const std::wstring& link);

// `link` becomes a second name of the file `existing`.
[[nodiscard]] bool MakeHardLink(const std::wstring& existing, const std::wstring& link);

// A small tmpfs on the existing, empty folder `folder` (a Windows path) for
// as long as the object lives, mounted with `options` (mount's -o); mounting
// needs root on the Unix side. What was written there goes with it.
class TmpfsMount {
 public:
  explicit TmpfsMount(const std::wstring& folder, const std::wstring& options = L"size=4m");
  ~TmpfsMount();
  TmpfsMount(const TmpfsMount&) = delete;
  TmpfsMount& operator=(const TmpfsMount&) = delete;

  // Empty when the mount failed.
  [[nodiscard]] const std::wstring& UnixFolder() const { return unixFolder_; }

 private:
  std::wstring unixFolder_;
};

}  // namespace testing_tools
