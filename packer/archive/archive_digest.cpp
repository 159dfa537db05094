// SPDX-License-Identifier: Apache-2.0
#include "packer/archive/archive_digest.h"

#include <vector>

#include "7zip/Common/StreamUtils.h"

#include "../C/Sha256.h"

using velmora::VMStatus;
namespace status = velmora::status;

VMStatus DigestArchive(IInStream& stream, std::uint64_t offset, PayloadDigest& digest) {
  digest = {};
  std::uint8_t header[kArchiveStartHeaderSize];
  std::uint64_t length = 0;
  if (stream.Seek(static_cast<Int64>(offset), STREAM_SEEK_SET, nullptr) != S_OK ||
      ReadStream_FALSE(&stream, header, sizeof header) != S_OK || !ArchiveLength(header, length)) {
    return status::InvalidValue;
  }
  CSha256 sha;
  Sha256_Init(&sha);
  Sha256_Update(&sha, header, sizeof header);
  std::vector<std::uint8_t> buffer(std::size_t{1} << 20);
  for (std::uint64_t left = length - sizeof header; left > 0;) {
    const std::size_t want = left < buffer.size() ? static_cast<std::size_t>(left) : buffer.size();
    if (ReadStream_FALSE(&stream, buffer.data(), want) != S_OK) return status::Failed;
    Sha256_Update(&sha, buffer.data(), want);
    left -= want;
  }
  Sha256_Final(&sha, digest.data());
  return status::Ok;
}
