// SPDX-License-Identifier: Apache-2.0
#include "tasks/payload_digest_check.h"

#include <process.h>

#include <array>
#include <cstring>
#include <memory>
#include <new>

#include "config/stub_status.h"
#include "support/vm_trace.h"
#include "payload/handle_in_stream.h"

// The archive library's SHA-256: the stub carries it already for the 7z
// format's SHA256 hasher, and it uses the processor's SHA instructions where
// there are any. The system's SHA-256 (bcrypt.dll) would be a second copy of
// the same function, bound at start for this alone.
#include "../C/Sha256.h"
#include "payload/payload_start.h"

using velmora::VMStatus;
namespace status = velmora::status;

namespace {

// Large enough that the hash runs at full speed, small enough to stay out
// of the decoder's way.
constexpr DWORD kReadSize = 1u << 20;

VMStatus Refuse(const char* reason, const char* function = VM_CALLER_NAME) {
  VM_TRACE_FROM(function, "ERROR", "%s\n", reason);
  return stub_status::PayloadDigestMismatch;
}

// The digest in the running image: RT_RCDATA kPayloadDigestId. False when
// there is none; a resource of another size is reported as `malformed`.
bool ImageDigest(PayloadDigest& digest, bool& malformed) {
  malformed = false;
  const HRSRC resource =
      FindResourceExW(nullptr, RT_RCDATA, MAKEINTRESOURCEW(kPayloadDigestId), kPayloadDigestLanguage);
  if (resource == nullptr) return false;
  const HGLOBAL loaded = LoadResource(nullptr, resource);
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  malformed = bytes == nullptr || SizeofResource(nullptr, resource) != digest.size();
  if (!malformed) std::memcpy(digest.data(), bytes, digest.size());
  return true;
}

}  // namespace

PayloadDigestCheck::~PayloadDigestCheck() {
  if (thread_) WaitForSingleObject(thread_.get(), INFINITE);
}

VMStatus PayloadDigestCheck::Start(HANDLE file, bool required) {
  bool malformed = false;
  if (!ImageDigest(expected_, malformed)) {
    // Only the image the user approved may say what runs with an
    // administrator's rights; a payload it does not name is refused there.
    return required ? Refuse("the image carries no payload digest") : status::Ok;
  }
  if (malformed) return Refuse("the image's payload digest is malformed");

  CMyComPtr<IInStream> stream = new HandleInStream(file);
  UInt64 start = 0;
  if (!FindImageEnd(*stream, start)) return Refuse("the file is no image");
  std::uint8_t header[kArchiveStartHeaderSize];
  DWORD read = 0;
  if (!ReadFileAt(file, start, header, sizeof header, read) || read != sizeof header ||
      !ArchiveLength(header, length_)) {
    return Refuse("no archive behind the image");
  }
  file_ = file;
  start_ = start;
  thread_.reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &HashThread, this, 0, nullptr)));
  if (!thread_) return Refuse("the hash cannot be started");
  return status::Ok;
}

VMStatus PayloadDigestCheck::Finish() {
  if (thread_) {
    WaitForSingleObject(thread_.get(), INFINITE);
    thread_.reset();
  }
  return result_;
}

unsigned __stdcall PayloadDigestCheck::HashThread(void* self) {
  auto* check = static_cast<PayloadDigestCheck*>(self);
  check->result_ = check->Hash();
  return 0;
}

VMStatus PayloadDigestCheck::Hash() {
  const std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[kReadSize]);
  if (!buffer) return Refuse("no memory to hash the payload");
  CSha256 sha;
  Sha256_Init(&sha);
  // Positional reads: the extraction reads the same handle meanwhile.
  for (std::uint64_t done = 0; done < length_;) {
    const DWORD want = length_ - done < kReadSize ? static_cast<DWORD>(length_ - done) : kReadSize;
    DWORD read = 0;
    if (!ReadFileAt(file_, start_ + done, buffer.get(), want, read) || read != want) {
      return Refuse("the payload is cut short");
    }
    Sha256_Update(&sha, buffer.get(), read);
    done += read;
  }
  std::array<std::uint8_t, 32> actual{};
  Sha256_Final(&sha, actual.data());
  if (std::memcmp(actual.data(), expected_.data(), expected_.size()) != 0) {
    return Refuse("the payload is not the one the image names");
  }
  return status::Ok;
}
