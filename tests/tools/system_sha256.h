// SPDX-License-Identifier: Apache-2.0
// SHA-256 by the system's own implementation (CNG, bcrypt.dll). The stub and
// the packer hash with the archive library's code; the tests check both
// against this one, which shares none of it.
#pragma once

#include <windows.h>

#include <bcrypt.h>

#include <array>
#include <cstddef>
#include <cstdint>

#include "support/vm_handle.h"
#include "support/vm_status.h"

namespace velmora {

namespace handle_traits {
struct BcryptAlgorithm {
  using Type = BCRYPT_ALG_HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { BCryptCloseAlgorithmProvider(h, 0); }
};
struct BcryptHash {
  using Type = BCRYPT_HASH_HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { BCryptDestroyHash(h); }
};
}  // namespace handle_traits

class VMWinSha256 {
 public:
  using Digest = std::array<std::uint8_t, 32>;

  // Begins a digest. Any failure of the system's functions is Failed.
  [[nodiscard]] VMStatus Start();
  [[nodiscard]] VMStatus Add(const void* data, std::size_t size);
  // The digest of everything added since Start; the object may start again.
  [[nodiscard]] VMStatus Finish(Digest& digest);

 private:
  VMUniqueHandle<handle_traits::BcryptAlgorithm> algorithm_;
  VMUniqueHandle<handle_traits::BcryptHash> hash_;
};

}  // namespace velmora
