// SPDX-License-Identifier: Apache-2.0
#include "packer/input_file.h"

#include <algorithm>

using velmora::VMStatus;
namespace status = velmora::status;

namespace {

// The streams report a failure of the system as the HRESULT of its Windows
// error (facility 7).
VMStatus FromResult(HRESULT result) {
  if (result == S_OK) return status::Ok;
  const auto value = static_cast<std::uint32_t>(result);
  return (value & 0xFFFF0000u) == 0x80070000u ? (value & 0xFFFFu) : status::FileOpenFailed;
}

}  // namespace

VMStatus InputFile::ReadStart(std::uint64_t count, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  bytes.reserve(static_cast<std::size_t>(std::min(count, size_)));
  return ReadAll([&](const std::uint8_t* data, std::size_t size) {
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(size, count - bytes.size()));
    bytes.insert(bytes.end(), data, data + wanted);
    // Reading stops once enough is there.
    return bytes.size() < count ? status::Ok : status::Cancelled;
  });
}

VMStatus InputFile::ReadAll(const std::function<VMStatus(const std::uint8_t*, std::size_t)>& take) {
  if (!stream_) return status::FileOpenFailed;
  VM_RETURN_IF_FAILED(FromResult(stream_->Seek(0, STREAM_SEEK_SET, nullptr)));
  std::vector<std::uint8_t> buffer(1 << 20);
  for (;;) {
    UInt32 got = 0;
    VM_RETURN_IF_FAILED(FromResult(stream_->Read(buffer.data(), static_cast<UInt32>(buffer.size()), &got)));
    if (got == 0) return status::Ok;
    const VMStatus taken = take(buffer.data(), got);
    if (taken == status::Cancelled) return status::Ok;
    VM_RETURN_IF_FAILED(taken);
  }
}

VMStatus ReadFileBytes(const std::wstring& path, std::uint64_t limit, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  InputFile file;
  VM_RETURN_IF_FAILED(file.Open(path));
  if (file.Size() > limit) return status::InvalidValue;
  VM_RETURN_IF_FAILED(file.ReadStart(file.Size(), bytes));
  // A file that shrank while it was read is not what its size said.
  return bytes.size() == file.Size() ? status::Ok : status::FileOpenFailed;
}
