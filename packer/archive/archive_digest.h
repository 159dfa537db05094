// SPDX-License-Identifier: Apache-2.0
// The payload digest as the packer computes it, for writing it into an
// installer and for checking one that --verify reads.
#pragma once

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#include <ole2.h>
#else
#include "Common/MyWindows.h"
#endif

#include "7zip/IStream.h"
#include "support/vm_status.h"
#include "payload/payload_digest.h"

// The SHA-256 of the 7z archive that begins `offset` bytes into `stream`,
// from its first byte to its last as its start header declares (what the
// stub hashes). InvalidValue when no archive begins there, Failed when the
// stream ends before the archive does.
[[nodiscard]] velmora::VMStatus DigestArchive(IInStream& stream, std::uint64_t offset, PayloadDigest& digest);
