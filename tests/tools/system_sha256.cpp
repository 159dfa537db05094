// SPDX-License-Identifier: Apache-2.0
#include "tests/tools/system_sha256.h"

#include <algorithm>

#include "support/vm_trace.h"

namespace velmora {

namespace {

VMStatus Checked(NTSTATUS result, const char* call, const char* function = VM_CALLER_NAME) {
  if (BCRYPT_SUCCESS(result)) return status::Ok;
  VM_TRACE_FROM(function, "ERROR", "%s failed, st=0x%08lx.\n", call, static_cast<unsigned long>(result));
  return status::Failed;
}

}  // namespace

VMStatus VMWinSha256::Start() {
  hash_.reset();
  if (!algorithm_) {
    VM_RETURN_IF_FAILED(Checked(BCryptOpenAlgorithmProvider(algorithm_.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0),
                                "BCryptOpenAlgorithmProvider"));
  }
  // The system keeps the hash object itself (Windows 7 and later).
  return Checked(BCryptCreateHash(algorithm_.get(), hash_.put(), nullptr, 0, nullptr, 0, 0), "BCryptCreateHash");
}

VMStatus VMWinSha256::Add(const void* data, std::size_t size) {
  if (!hash_) return status::MissingObject;
  auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
  // The system takes at most 4 GiB - 1 bytes at a time.
  while (size > 0) {
    const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(size, 0x40000000));
    VM_RETURN_IF_FAILED(Checked(BCryptHashData(hash_.get(), bytes, piece, 0), "BCryptHashData"));
    bytes += piece;
    size -= piece;
  }
  return status::Ok;
}

VMStatus VMWinSha256::Finish(Digest& digest) {
  if (!hash_) return status::MissingObject;
  const VMStatus finished =
      Checked(BCryptFinishHash(hash_.get(), digest.data(), static_cast<ULONG>(digest.size()), 0), "BCryptFinishHash");
  hash_.reset();
  return finished;
}

}  // namespace velmora
