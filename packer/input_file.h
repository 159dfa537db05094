// SPDX-License-Identifier: Apache-2.0
// An input of the packer, opened once and read from then on through that
// one open file, by the packer and by the archive library alike: whatever is
// put at its path afterwards is never read instead. Opening it is the one
// part that asks the system (input_file_open_windows.cpp for Windows,
// input_file_open_posix.cpp elsewhere).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <ole2.h>
#else
#include "Common/MyWindows.h"
#endif

#include "7zip/IStream.h"
#include "Common/MyCom.h"
#include "support/vm_status.h"

class InputFile {
 public:
  // Opens `path` as a regular file: a folder, a FIFO or a device fails with
  // error 5 (access denied) at once instead of blocking.
  [[nodiscard]] velmora::VMStatus Open(const std::wstring& path);
  // Opens a file that a folder scan saw as `device` and `inode` (the volume
  // serial and file ID on Windows): never through a link at the end of
  // `path`, and anything else now standing there (a link, a FIFO, another
  // file) fails with InvalidValue.
  [[nodiscard]] velmora::VMStatus OpenScanned(const std::wstring& path, std::uint64_t device, std::uint64_t inode);

  [[nodiscard]] std::uint64_t Size() const { return size_; }
  // The first `count` bytes, fewer when the file is shorter.
  [[nodiscard]] velmora::VMStatus ReadStart(std::uint64_t count, std::vector<std::uint8_t>& bytes);
  // Hands the whole file to `take`, piece by piece from its start.
  [[nodiscard]] velmora::VMStatus ReadAll(
      const std::function<velmora::VMStatus(const std::uint8_t*, std::size_t)>& take);
  // The archive library's stream over the open file; it keeps the file open
  // as long as the library holds it. Every read moves the one position.
  [[nodiscard]] IInStream* Stream() const { return stream_; }

 private:
  CMyComPtr<IInStream> stream_;
  std::uint64_t size_ = 0;
};

// The whole of a regular file of at most `limit` bytes; a larger one fails
// with InvalidValue.
[[nodiscard]] velmora::VMStatus ReadFileBytes(const std::wstring& path, std::uint64_t limit,
                                              std::vector<std::uint8_t>& bytes);
