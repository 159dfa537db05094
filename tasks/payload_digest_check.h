// SPDX-License-Identifier: Apache-2.0
// The stub's check of its payload against the digest in its own image.
#pragma once

#include <windows.h>

#include <cstdint>

#include "support/vm_handle.h"
#include "support/vm_status.h"
#include "payload/payload_digest.h"

// Compares the SHA-256 of the payload behind the image at the start of an
// installer file (read through its handle only) with the digest the running
// image carries in its resources. The expected digest comes from the image
// Windows mapped for this process, never from the file, which is only as
// trustworthy as the path it was opened by.
//
// The payload is hashed on a thread of its own while it is unpacked: one
// pass over it before the unpacking would cost several times the 3 % of the
// extraction's time that the check may take (docs/performance.md), while a
// second processor is mostly idle during the decoding. So a refused payload
// may have been unpacked in part by the time the answer comes; the caller
// removes what it made then, and runs nothing.
class PayloadDigestCheck {
 public:
  PayloadDigestCheck() = default;
  ~PayloadDigestCheck();
  PayloadDigestCheck(const PayloadDigestCheck&) = delete;
  PayloadDigestCheck& operator=(const PayloadDigestCheck&) = delete;

  // Reads the image's digest and starts hashing the payload in `file`,
  // which must stay open until Finish. Without a digest nothing is hashed:
  // with `required` (the elevated instance) that is refused at once with
  // PayloadDigestMismatch, before anything is unpacked.
  [[nodiscard]] velmora::VMStatus Start(HANDLE file, bool required);
  // Waits for the hash: 0 when the payload is the one the image names, or
  // when there was no digest to check; otherwise PayloadDigestMismatch.
  [[nodiscard]] velmora::VMStatus Finish();

 private:
  static unsigned __stdcall HashThread(void* self);
  [[nodiscard]] velmora::VMStatus Hash();

  HANDLE file_ = nullptr;
  std::uint64_t start_ = 0;
  std::uint64_t length_ = 0;
  PayloadDigest expected_{};
  velmora::VMStatus result_ = velmora::status::Ok;
  velmora::VMUniqueKernelHandle thread_;
};
