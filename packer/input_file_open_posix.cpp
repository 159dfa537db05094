// SPDX-License-Identifier: Apache-2.0
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "packer/input_file.h"
#include "support/vm_utf_convert.h"

using velmora::VMStatus;
namespace status = velmora::status;

namespace {

// The archive library's stream over a descriptor, which it closes.
Z7_CLASS_IMP_IInStream(DescriptorInStream)
 public:
  explicit DescriptorInStream(int fd) : fd_(fd) {}
  ~DescriptorInStream() { close(fd_); }

 private:
  int fd_;
};

HRESULT LastErrorResult() {
  const VMStatus error = velmora::LastErrorOr();
  return error <= 0xFFFF ? static_cast<HRESULT>(0x80070000u | error) : E_FAIL;
}

// Without O_NONBLOCK a FIFO would block the open until a writer came.
constexpr int kReading = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

struct Seen {
  std::uint64_t Device;
  std::uint64_t Inode;
};

VMStatus Adopt(int fd, const Seen* seen, CMyComPtr<IInStream>& stream, std::uint64_t& size) {
  // O_NOFOLLOW refuses a link at the end of the path with ELOOP.
  if (fd < 0) return seen && errno == ELOOP ? status::InvalidValue : velmora::LastErrorOr();
  const CMyComPtr<IInStream> owner = new DescriptorInStream(fd);
  struct stat info {};
  VM_RETURN_LAST_ERROR_IF(fstat(fd, &info) != 0);
  if (!S_ISREG(info.st_mode)) return seen ? status::InvalidValue : 5;  // as Windows: access denied
  if (seen && (static_cast<std::uint64_t>(info.st_dev) != seen->Device ||
               static_cast<std::uint64_t>(info.st_ino) != seen->Inode)) {
    return status::InvalidValue;
  }
  size = static_cast<std::uint64_t>(info.st_size);
  stream = owner;
  return status::Ok;
}

}  // namespace

Z7_COM7F_IMF(DescriptorInStream::Read(void* data, UInt32 size, UInt32* processedSize)) {
  if (processedSize) *processedSize = 0;
  ssize_t got = 0;
  do {
    got = read(fd_, data, size);
  } while (got < 0 && errno == EINTR);
  if (got < 0) return LastErrorResult();
  if (processedSize) *processedSize = static_cast<UInt32>(got);
  return S_OK;
}

Z7_COM7F_IMF(DescriptorInStream::Seek(Int64 offset, UInt32 seekOrigin, UInt64* newPosition)) {
  // The library's origins are the system's first three (set, current, end).
  if (seekOrigin > STREAM_SEEK_END) return STG_E_INVALIDFUNCTION;
  const off_t position = lseek(fd_, static_cast<off_t>(offset), static_cast<int>(seekOrigin));
  if (position < 0) return LastErrorResult();
  if (newPosition) *newPosition = static_cast<UInt64>(position);
  return S_OK;
}

VMStatus InputFile::Open(const std::wstring& path) {
  return Adopt(open(velmora::VMUtf16ToUtf8(path).c_str(), kReading), nullptr, stream_, size_);
}

VMStatus InputFile::OpenScanned(const std::wstring& path, std::uint64_t device, std::uint64_t inode) {
  const Seen seen{device, inode};
  return Adopt(open(velmora::VMUtf16ToUtf8(path).c_str(), kReading | O_NOFOLLOW), &seen, stream_, size_);
}
