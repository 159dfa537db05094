// SPDX-License-Identifier: Apache-2.0
#include "packer/installer_writer.h"

#include "config/cfg.h"
#include "packer/archive/archive_digest.h"
#include "packer/pe/icon_resource.h"
#include "packer/input_file.h"
#include "packer/file_system.h"
#include "packer/status_text.h"
#include "support/vm_scope_exit.h"

using velmora::VMStatus;
namespace status = velmora::status;

namespace {

std::wstring Failure(const std::wstring& what, VMStatus code) { return what + L": " + DescribeStatus(code) + L"."; }

struct ResourceChoice {
  bool Document = true;
  bool Icon = true;
  bool Version = true;
};

// The stub's resources as the command line asks: the document replaces any
// the stub may carry, and without one a document the stub carries goes, so
// the installer is what the command line says. `choice` leaves parts out
// when the image is measured without them. `tooLarge` as in PeImage::Write.
VMStatus EditResources(const InstallerParts& parts, const PayloadDigest& digest, const pe_resources::Bytes& stub,
                       pe_resources::Bytes& image, std::wstring& error, ResourceChoice choice = {},
                       std::uint64_t* tooLarge = nullptr) {
  pe_resources::PeImage resources;
  std::wstring why;
  if (resources.Load(stub, why) != status::Ok) {
    error = L"the stub " + parts.Stub + L" cannot take resources: " + why + L".";
    return status::InvalidValue;
  }
  if (parts.Document && choice.Document) {
    resources.Set(pe_resources::kTypeRcData, kConfigurationId, kConfigurationLanguage,
                  pe_resources::Bytes(parts.Document->begin(), parts.Document->end()));
  } else {
    resources.Remove(pe_resources::kTypeRcData, kConfigurationId, kConfigurationLanguage);
  }
  // Every installer names its payload, so that the stub unpacks no other.
  resources.Set(pe_resources::kTypeRcData, kPayloadDigestId, kPayloadDigestLanguage,
                pe_resources::Bytes(digest.begin(), digest.end()));
  if (!parts.Icon.empty() && choice.Icon) SetProgramIcon(resources, parts.Icon);
  if (!parts.VersionInfo.empty() && choice.Version) SetVersionResource(resources, parts.VersionInfo);
  if (resources.Write(image, why, tooLarge) != status::Ok) {
    error = L"the stub " + parts.Stub + L" cannot take resources: " + why + L".";
    return status::InvalidValue;
  }
  return status::Ok;
}

// The size of the image with the chosen parts, also when it is too large.
std::uint64_t ImageSize(const InstallerParts& parts, const PayloadDigest& digest, const pe_resources::Bytes& stub,
                        ResourceChoice choice) {
  pe_resources::Bytes image;
  std::wstring ignored;
  std::uint64_t tooLarge = 0;
  return EditResources(parts, digest, stub, image, ignored, choice, &tooLarge) == status::Ok ? image.size() : tooLarge;
}

// Which of the given parts make the image too large, and the room the stub
// leaves them: the vendor can then shrink the icon or shorten a text rather
// than suspect the stub.
std::wstring TooLargeText(const InstallerParts& parts, const PayloadDigest& digest, const pe_resources::Bytes& stub,
                         std::uint64_t size) {
  const std::uint64_t bare = ImageSize(parts, digest, stub, {false, false, false});
  const auto added = [&](ResourceChoice choice) {
    const std::uint64_t with = ImageSize(parts, digest, stub, choice);
    return std::to_wstring(with > bare ? with - bare : 0) + L" bytes";
  };
  std::wstring causes;
  const auto add = [&](const std::wstring& cause) { causes += (causes.empty() ? L"" : L", ") + cause; };
  if (!parts.Icon.empty()) add(L"the icon " + parts.IconPath + L" adds " + added({false, true, false}));
  if (parts.Document) add(L"the document " + added({true, false, false}));
  if (!parts.VersionInfo.empty()) add(L"the version texts " + added({false, false, true}));
  const std::uint64_t room = bare < kPayloadSearchLimit ? kPayloadSearchLimit - 1 - bare : 0;
  return L"the installer's image would be " + std::to_wstring(size) + L" bytes, but the stub finds its payload only " +
         L"within the first " + std::to_wstring(kPayloadSearchLimit) + L" bytes: " + causes + L"; the stub alone " +
         L"takes " + std::to_wstring(bare) + L" bytes, which leaves " + std::to_wstring(room) + L" bytes for them.";
}

}  // namespace

VMStatus WriteInstaller(const InstallerParts& parts, InstallerLayout& layout, std::wstring& error,
                        const InstallerCheck& verify) {
  layout = InstallerLayout{};
  pe_resources::Bytes stub;
  // A stub larger than this could not have the payload found behind it.
  VMStatus result = ReadFileBytes(parts.Stub, kPayloadSearchLimit, stub);
  if (result != status::Ok) {
    error = Failure(L"cannot read the stub " + parts.Stub, result);
    return result;
  }
  std::uint64_t imageEnd = 0;
  std::wstring why;
  if (pe_resources::GetImageEnd(stub, imageEnd, why) != status::Ok) {
    error = L"the stub " + parts.Stub + L" is not a 32-bit x86 Windows program that Windows would start: " + why + L".";
    return status::InvalidValue;
  }
  // A second payload (or a signature) behind the image would hide the one
  // given here: the 7z search stops at the first archive it finds.
  if (stub.size() != imageEnd) {
    error = L"the stub " + parts.Stub + L" carries " + std::to_wstring(stub.size() - imageEnd) +
            L" bytes behind its image (a payload or a signature): start from a plain stub.";
    return status::InvalidValue;
  }

  InputFile opened;
  InputFile* payload = parts.PayloadFile;
  if (payload == nullptr) {
    result = opened.Open(parts.Payload);
    if (result != status::Ok) {
      error = Failure(L"cannot read the payload " + parts.Payload, result);
      return result;
    }
    payload = &opened;
  }
  layout.PayloadSize = payload->Size();
  PayloadDigest digest;
  result = DigestArchive(*payload->Stream(), 0, digest);
  if (result != status::Ok) {
    error = Failure(L"cannot read the payload " + parts.Payload, result);
    return result;
  }

  pe_resources::Bytes image;
  std::uint64_t tooLarge = 0;
  const VMStatus edited = EditResources(parts, digest, stub, image, error, {}, &tooLarge);
  if (tooLarge != 0 || (edited == status::Ok && image.size() >= kPayloadSearchLimit)) {
    error = TooLargeText(parts, digest, stub, tooLarge != 0 ? tooLarge : image.size());
    return status::InvalidValue;
  }
  VM_RETURN_IF_FAILED(edited);
  layout.StubSize = image.size();

  // Beside the output, so the final rename stays on one volume.
  std::wstring temporary;
  result = CreateTemporaryFile(parts.Output, L".tmp", temporary);
  if (result != status::Ok) {
    error = Failure(L"cannot create a file beside " + parts.Output, result);
    return result;
  }
  velmora::VMScopeExit removeTemporary([&] { RemoveFile(temporary); });
  result = WriteFileBytes(temporary, image);
  if (result == status::Ok) result = AppendFile(temporary, *payload);
  if (result != status::Ok) {
    error = Failure(L"cannot write " + temporary, result);
    return result;
  }

  if (verify) VM_RETURN_IF_FAILED(verify(temporary, layout.StubSize, error));

  result = ReplaceFile(temporary, parts.Output);
  if (result != status::Ok) {
    error = Failure(L"cannot create " + parts.Output, result);
    return result;
  }
  removeTemporary.Dismiss();
  return status::Ok;
}
