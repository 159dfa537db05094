#include "packer/installer_writer.h"

#include <windows.h>

#include <vector>

#include "config/cfg.h"
#include "packer/file_bytes.h"
#include "packer/icon_resource.h"
#include "packer/status_text.h"
#include "support/vm_handle.h"
#include "support/vm_scope_exit.h"

using velmora::VMStatus;
using velmora::VMUniqueFile;
namespace status = velmora::status;

namespace {

VMStatus ReadAt(HANDLE file, std::uint64_t offset, void* buffer, DWORD size) {
  LARGE_INTEGER position{};
  position.QuadPart = static_cast<LONGLONG>(offset);
  VM_RETURN_LAST_ERROR_IF(!SetFilePointerEx(file, position, nullptr, FILE_BEGIN));
  DWORD read = 0;
  VM_RETURN_LAST_ERROR_IF(!ReadFile(file, buffer, size, &read, nullptr));
  return read == size ? status::Ok : status::InvalidValue;
}

VMStatus OpenForReading(const std::wstring& path, VMUniqueFile& file) {
  file.reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  VM_RETURN_LAST_ERROR_IF(!file);
  return status::Ok;
}

VMStatus SizeOf(HANDLE file, std::uint64_t& size) {
  LARGE_INTEGER value{};
  VM_RETURN_LAST_ERROR_IF(!GetFileSizeEx(file, &value));
  size = static_cast<std::uint64_t>(value.QuadPart);
  return status::Ok;
}

std::wstring Failure(const std::wstring& what, VMStatus code) { return what + L": " + DescribeStatus(code) + L"."; }

// Appends the whole of `source` to `target`.
VMStatus AppendFile(HANDLE target, HANDLE source) {
  std::vector<char> buffer(1 << 20);
  for (;;) {
    DWORD read = 0;
    VM_RETURN_LAST_ERROR_IF(!ReadFile(source, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr));
    if (read == 0) return status::Ok;
    DWORD written = 0;
    VM_RETURN_LAST_ERROR_IF(!WriteFile(target, buffer.data(), read, &written, nullptr));
    if (written != read) return status::FileWriteFailed;
  }
}

// The stub's resources as the command line asks: the document replaces any
// the stub may carry, and without one a document the stub carries goes, so
// the installer is what the command line says.
VMStatus EditResources(const InstallerParts& parts, pe_resources::Bytes& image, std::wstring& error) {
  pe_resources::Bytes stub;
  VMStatus result = ReadFileBytes(parts.Stub, kPayloadSearchLimit, stub);
  if (result != status::Ok) {
    error = Failure(L"cannot read the stub " + parts.Stub, result);
    return result;
  }
  pe_resources::PeImage resources;
  std::wstring why;
  if (resources.Load(std::move(stub), why) != status::Ok) {
    error = L"the stub " + parts.Stub + L" cannot take resources: " + why + L".";
    return status::InvalidValue;
  }
  if (parts.Document) {
    resources.Set(pe_resources::kTypeRcData, kConfigurationId, kConfigurationLanguage,
                  pe_resources::Bytes(parts.Document->begin(), parts.Document->end()));
  } else {
    resources.Remove(pe_resources::kTypeRcData, kConfigurationId, kConfigurationLanguage);
  }
  if (!parts.Icon.empty()) SetProgramIcon(resources, parts.Icon);
  if (!parts.VersionInfo.empty()) SetVersionResource(resources, parts.VersionInfo);
  if (resources.Write(image, why) != status::Ok) {
    error = L"the stub " + parts.Stub + L" cannot take resources: " + why + L".";
    return status::InvalidValue;
  }
  return status::Ok;
}

}  // namespace

VMStatus GetImageEnd(const std::wstring& path, std::uint64_t& imageEnd, std::uint64_t& fileSize) {
  imageEnd = 0;
  VMUniqueFile file;
  VM_RETURN_IF_FAILED(OpenForReading(path, file));
  VM_RETURN_IF_FAILED(SizeOf(file.get(), fileSize));

  IMAGE_DOS_HEADER dos{};
  if (ReadAt(file.get(), 0, &dos, sizeof(dos)) != status::Ok || dos.e_magic != IMAGE_DOS_SIGNATURE) {
    return status::InvalidValue;
  }
  IMAGE_NT_HEADERS32 nt{};
  if (ReadAt(file.get(), static_cast<std::uint32_t>(dos.e_lfanew), &nt, sizeof(nt)) != status::Ok ||
      nt.Signature != IMAGE_NT_SIGNATURE || nt.FileHeader.Machine != IMAGE_FILE_MACHINE_I386 ||
      nt.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
    return status::InvalidValue;
  }
  const std::uint64_t sectionsAt = static_cast<std::uint32_t>(dos.e_lfanew) + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) +
                                   nt.FileHeader.SizeOfOptionalHeader;
  std::vector<IMAGE_SECTION_HEADER> sections(nt.FileHeader.NumberOfSections);
  if (!sections.empty()) {
    VM_RETURN_IF_FAILED(ReadAt(file.get(), sectionsAt, sections.data(),
                               static_cast<DWORD>(sections.size() * sizeof(IMAGE_SECTION_HEADER))));
  }
  imageEnd = nt.OptionalHeader.SizeOfHeaders;
  for (const IMAGE_SECTION_HEADER& section : sections) {
    if (section.SizeOfRawData == 0) continue;
    const std::uint64_t end = std::uint64_t{section.PointerToRawData} + section.SizeOfRawData;
    if (end > imageEnd) imageEnd = end;
  }
  return imageEnd <= fileSize ? status::Ok : status::InvalidValue;
}

VMStatus WriteInstaller(const InstallerParts& parts, InstallerLayout& layout, std::wstring& error,
                        const InstallerCheck& verify) {
  layout = InstallerLayout{};
  std::uint64_t imageEnd = 0;
  std::uint64_t stubFileSize = 0;
  const VMStatus image = GetImageEnd(parts.Stub, imageEnd, stubFileSize);
  if (image == status::InvalidValue) {
    error = L"the stub " + parts.Stub + L" is not a 32-bit x86 Windows program.";
    return image;
  }
  if (image != status::Ok) {
    error = Failure(L"cannot read the stub " + parts.Stub, image);
    return image;
  }
  // A second payload (or a signature) behind the image would hide the one
  // given here: the 7z search stops at the first archive it finds.
  if (stubFileSize != imageEnd) {
    error = L"the stub " + parts.Stub + L" carries " + std::to_wstring(stubFileSize - imageEnd) +
            L" bytes behind its image (a payload or a signature): start from a plain stub.";
    return status::InvalidValue;
  }

  VMUniqueFile payload;
  VMStatus result = OpenForReading(parts.Payload, payload);
  if (result == status::Ok) result = SizeOf(payload.get(), layout.PayloadSize);
  if (result != status::Ok) {
    error = Failure(L"cannot read the payload " + parts.Payload, result);
    return result;
  }

  // Beside the output, so the final rename stays on one volume.
  const std::wstring temporary = parts.Output + L".vm-sfxpack-" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
  velmora::VMScopeExit removeTemporary([&] { DeleteFileW(temporary.c_str()); });
  pe_resources::Bytes stubImage;
  VM_RETURN_IF_FAILED(EditResources(parts, stubImage, error));
  result = WriteFileBytes(temporary, stubImage);
  if (result != status::Ok) {
    error = Failure(L"cannot write " + temporary, result);
    return result;
  }

  {
    VMUniqueFile installer(CreateFileW(temporary.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    result = installer ? SizeOf(installer.get(), layout.StubSize) : velmora::LastErrorOr();
    if (result == status::Ok && layout.StubSize >= kPayloadSearchLimit) {
      error = L"the stub with its resources is " + std::to_wstring(layout.StubSize) +
              L" bytes: the payload must begin within the first 8 MiB.";
      return status::InvalidValue;
    }
    LARGE_INTEGER end{};
    if (result == status::Ok && !SetFilePointerEx(installer.get(), end, nullptr, FILE_END)) {
      result = velmora::LastErrorOr();
    }
    if (result == status::Ok) result = AppendFile(installer.get(), payload.get());
    if (result == status::Ok && !FlushFileBuffers(installer.get())) result = velmora::LastErrorOr();
    if (result != status::Ok) {
      error = Failure(L"cannot write " + temporary, result);
      return result;
    }
  }

  if (verify) VM_RETURN_IF_FAILED(verify(temporary, error));

  if (!MoveFileExW(temporary.c_str(), parts.Output.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    result = velmora::LastErrorOr();
    error = Failure(L"cannot create " + parts.Output, result);
    return result;
  }
  removeTemporary.Dismiss();
  return status::Ok;
}
