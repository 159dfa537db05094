#include "packer/file_bytes.h"

#include <windows.h>

#include "support/vm_handle.h"

using velmora::VMStatus;
namespace status = velmora::status;

VMStatus ReadFileBytes(const std::wstring& path, std::uint64_t limit, std::vector<std::uint8_t>& bytes) {
  velmora::VMUniqueFile file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  VM_RETURN_LAST_ERROR_IF(!file || !GetFileSizeEx(file.get(), &size));
  if (static_cast<std::uint64_t>(size.QuadPart) > limit) return status::InvalidValue;
  bytes.resize(static_cast<std::size_t>(size.QuadPart));
  DWORD read = 0;
  VM_RETURN_LAST_ERROR_IF(!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr));
  return read == bytes.size() ? status::Ok : status::FileOpenFailed;
}

VMStatus WriteFileBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
  velmora::VMUniqueFile file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  VM_RETURN_LAST_ERROR_IF(!file);
  DWORD written = 0;
  VM_RETURN_LAST_ERROR_IF(!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
  return written == bytes.size() ? status::Ok : status::FileWriteFailed;
}
