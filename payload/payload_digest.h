// SPDX-License-Identifier: Apache-2.0
// The payload's SHA-256 that the packer writes into the stub image, and the
// extent of the payload it covers. Shared by the packer, which writes and
// verifies it, and the stub, which checks it before it unpacks anything.
//
// The digest lives in the image because the image is what Windows maps
// from the file the user (or the consent prompt) approved, and what an
// Authenticode signature covers; the appended archive is neither mapped nor
// otherwise bound to the image. With the digest, the payload read through
// the installer's file handle is bound to the image that runs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Where: RT_RCDATA, this name and language, beside the configuration
// document (222). The resource holds the 32 bytes of the digest, nothing
// else.
inline constexpr unsigned short kPayloadDigestId = 225;
inline constexpr unsigned short kPayloadDigestLanguage = 1033;

inline constexpr std::size_t kPayloadDigestSize = 32;
using PayloadDigest = std::array<std::uint8_t, kPayloadDigestSize>;

// A 7z archive begins with a start header of this size, which says where its
// end header lies and how long that is.
inline constexpr std::size_t kArchiveStartHeaderSize = 32;

// The length of the 7z archive that begins with `startHeader` (its first
// kArchiveStartHeaderSize bytes), from its first byte to the last byte of
// its end header: what the digest covers. False when the bytes are no 7z
// start header or the length does not fit in 63 bits. The header's own
// checksum is not looked at: a changed length changes what is hashed, and
// the digest then fails anyway.
[[nodiscard]] bool ArchiveLength(const std::uint8_t* startHeader, std::uint64_t& length);
