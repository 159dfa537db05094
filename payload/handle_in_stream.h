// SPDX-License-Identifier: Apache-2.0
// The archive library's input stream over an open file handle, so that the
// payload is read from the very file a handle holds and not from whatever
// stands at its path. The stream keeps its own position and reads at it, so
// other readers of the same handle (the payload's digest, on a thread of its
// own) neither disturb it nor are disturbed.
#pragma once

#include <windows.h>
#include <ole2.h>

#include "7zip/IStream.h"
#include "Common/MyCom.h"
#include "support/vm_handle.h"

// Reads up to `size` bytes at `offset` of `file`, whatever its file pointer;
// `read` is 0 at or behind the end.
[[nodiscard]] bool ReadFileAt(HANDLE file, UInt64 offset, void* data, DWORD size, DWORD& read);

Z7_CLASS_IMP_IInStream(HandleInStream)
 public:
  // The handle stays its owner's; it must outlive the stream.
  explicit HandleInStream(HANDLE file) : file_(file) {}
  // Takes the handle over: it is closed with the stream, which the archive
  // library may keep after its opener has returned.
  explicit HandleInStream(velmora::VMUniqueFile file) : owned_(std::move(file)), file_(owned_.get()) {}

 private:
  velmora::VMUniqueFile owned_;
  HANDLE file_;
  UInt64 position_ = 0;
};
