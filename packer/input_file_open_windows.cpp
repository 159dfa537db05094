// SPDX-License-Identifier: Apache-2.0
#include "packer/input_file.h"

#include "support/vm_handle.h"
#include "support/entry_identity.h"
#include "payload/handle_in_stream.h"

using velmora::VMStatus;
using velmora::VMUniqueFile;
namespace status = velmora::status;

namespace {

VMUniqueFile OpenForReading(const std::wstring& path, DWORD flags) {
  return VMUniqueFile(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN | flags, nullptr));
}

VMStatus Adopt(VMUniqueFile file, const EntryIdentity* seen, CMyComPtr<IInStream>& stream, std::uint64_t& size) {
  EntryIdentity identity;
  BY_HANDLE_FILE_INFORMATION information{};
  VM_RETURN_LAST_ERROR_IF(!file || !ReadEntry(file.get(), identity, information));
  // Only a file on a disk: a pipe or a device would block or never end. A
  // scanned entry opened without following links is a link here if one was
  // swapped in.
  constexpr DWORD kNotPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  if (GetFileType(file.get()) != FILE_TYPE_DISK || (seen && (information.dwFileAttributes & kNotPlain))) {
    return seen ? status::InvalidValue : ERROR_ACCESS_DENIED;
  }
  // The scan hands on the volume and the file ID's low 64 bits, all of the
  // ID but on ReFS.
  if (seen && (identity.Volume != seen->Volume || identity.Index != seen->Index)) return status::InvalidValue;
  size = (std::uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow;
  stream = new HandleInStream(std::move(file));
  return status::Ok;
}

}  // namespace

VMStatus InputFile::Open(const std::wstring& path) {
  return Adopt(OpenForReading(path, 0), nullptr, stream_, size_);
}

VMStatus InputFile::OpenScanned(const std::wstring& path, std::uint64_t device, std::uint64_t inode) {
  const EntryIdentity seen{device, inode, 0};
  return Adopt(OpenForReading(path, FILE_FLAG_OPEN_REPARSE_POINT), &seen, stream_, size_);
}
