// SPDX-License-Identifier: Apache-2.0
#include "packer/verify.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "config/cfg.h"
#include "config/stub_status.h"
#include "packer/archive/archive_digest.h"
#include "packer/config_check.h"
#include "packer/input_file.h"
#include "packer/installer_writer.h"
#include "packer/archive/lzma2_blocks.h"
#include "packer/archive/payload_check.h"
#include "packer/pe/pe_resources.h"
#include "packer/status_text.h"

using velmora::VMStatus;
namespace status = velmora::status;

namespace {

// The certificate table starts on an 8-byte boundary behind the payload.
constexpr std::uint64_t kCertificateAlignment = 8;

struct DocumentLookup {
  bool Found = false;
  // Any RT_RCDATA at all: without one the stub has no document to miss.
  bool AnyRcData = false;
  std::string Text;
  // Languages the resource exists in other than the one the stub asks for.
  std::vector<std::uint32_t> OtherLanguages;
};

// RT_RCDATA 222 as the stub looks it up: that type, that name, language 1033.
DocumentLookup FindDocument(const pe_resources::PeImage& image) {
  DocumentLookup lookup;
  for (const auto& [key, data] : image.Entries()) {
    if (!key.Type.Text.empty() || key.Type.Id != pe_resources::kTypeRcData) continue;
    // The payload digest is no document, and every packed installer has it.
    if (key.Name.Text.empty() && key.Name.Id == kPayloadDigestId) continue;
    lookup.AnyRcData = true;
    if (!key.Name.Text.empty() || key.Name.Id != kConfigurationId) continue;
    if (key.Language != kConfigurationLanguage) {
      lookup.OtherLanguages.push_back(key.Language);
      continue;
    }
    lookup.Found = true;
    // The stub reads its document as a terminated text.
    const char* text = reinterpret_cast<const char*>(data.Data.data());
    lookup.Text.assign(text, strnlen(text, data.Data.size()));
  }
  return lookup;
}

// The loader finds the libraries to bind and the manifest, and the stub its
// document, dialogs and payload digest, only through the data directories
// the optional header counts (the resources are the third). An image that
// counts fewer, or imports nothing, does not start as an installer.
bool HasTheDirectoriesTheStubNeeds(const pe_resources::ImageFacts& facts, std::wstring& why) {
  constexpr std::uint32_t kNeeded = 3;
  if (facts.DirectoryCount == 0) {
    why = L"its optional header has no data directories";
  } else if (facts.DirectoryCount < kNeeded) {
    why = L"its optional header has " + std::to_wstring(facts.DirectoryCount) + L" data directories; the stub needs " +
          std::to_wstring(kNeeded) + L", up to its resources";
  } else if (facts.ImportsSize == 0) {
    why = L"it has no import directory";
  }
  return why.empty();
}

VMStatus Unsound(std::wstring& error, std::wstring text, VMStatus code = status::InvalidValue) {
  error = std::move(text);
  return code;
}

// The payload digest as the stub reads it: RT_RCDATA kPayloadDigestId in
// language 1033, exactly 32 bytes. Null when there is none.
const pe_resources::Bytes* FindPayloadDigest(const pe_resources::PeImage& image) {
  for (const auto& [key, data] : image.Entries()) {
    if (key.Type.Text.empty() && key.Type.Id == pe_resources::kTypeRcData && key.Name.Text.empty() &&
        key.Name.Id == kPayloadDigestId && key.Language == kPayloadDigestLanguage) {
      return &data.Data;
    }
  }
  return nullptr;
}

// The digest line, or why the stub would refuse the payload.
VMStatus CheckDigestResource(const pe_resources::PeImage& image, InputFile& file, std::uint64_t payloadAt,
                            std::vector<std::wstring>& lines, std::wstring& error) {
  const std::wstring refused = DescribeStatus(stub_status::PayloadDigestMismatch);
  const pe_resources::Bytes* stored = FindPayloadDigest(image);
  if (stored == nullptr) {
    return Unsound(error, L"the image carries no payload digest (RT_RCDATA " + std::to_wstring(kPayloadDigestId) +
                              L"): the installer unpacks unelevated, but its elevated instance refuses the payload "
                              L"with " + refused + L"; pack it with vm-sfxpack.");
  }
  PayloadDigest actual;
  const VMStatus read = DigestArchive(*file.Stream(), payloadAt, actual);
  if (read != status::Ok) return Unsound(error, L"the payload cannot be read: " + DescribeStatus(read) + L".", read);
  if (stored->size() != actual.size() || !std::equal(actual.begin(), actual.end(), stored->begin())) {
    return Unsound(error, L"the payload digest in the image (RT_RCDATA " + std::to_wstring(kPayloadDigestId) +
                              L") does not match the payload: the stub refuses it with " + refused + L".");
  }
  lines.push_back(L"digest: the image names the payload's SHA-256 (RT_RCDATA " + std::to_wstring(kPayloadDigestId) +
                  L"), and the payload matches it.");
  return status::Ok;
}

}  // namespace

VMStatus VerifyInstaller(const std::wstring& installer, std::vector<std::wstring>& lines, std::wstring& error,
                         ProgressLine* progress, bool requireSignature) {
  lines.clear();
  error.clear();
  // The stub finds its payload only within the first 8 MiB, so its image
  // must end there: that much of the file is all the check reads.
  // One open file for every check, so that all of them see the same bytes.
  InputFile file;
  pe_resources::Bytes bytes;
  VMStatus read = file.Open(installer);
  if (read == status::Ok) read = file.ReadStart(kPayloadSearchLimit, bytes);
  if (read != status::Ok) {
    return Unsound(error, L"cannot read " + installer + L": " + DescribeStatus(read) + L".", read);
  }
  const std::uint64_t fileSize = file.Size();
  // The loader's view: what it would refuse to start is no sound installer.
  pe_resources::PeImage image;
  pe_resources::ImageFacts facts;
  std::wstring why;
  if (image.Read(bytes, facts, why) != status::Ok || !HasTheDirectoriesTheStubNeeds(facts, why)) {
    return Unsound(error, installer + L" is not a 32-bit x86 Windows program that Windows would start: " + why +
                              (fileSize > kPayloadSearchLimit
                                   ? L" (within the first 8 MiB, where the stub searches for its payload)."
                                   : L"."));
  }
  const std::uint64_t imageEnd = facts.End;
  lines.push_back(L"image: a 32-bit x86 Windows program of " + std::to_wstring(imageEnd) + L" bytes.");

  const DocumentLookup document = FindDocument(image);
  if (!document.Found && !document.OtherLanguages.empty()) {
    return Unsound(error, L"the configuration document is stored under language " +
                              std::to_wstring(document.OtherLanguages.front()) +
                              L", not 1033: the stub does not find it and ends with " +
                              DescribeStatus(1815) + L".");
  }
  if (document.Found) {
    ConfigCheckResult checked;
    if (const VMStatus loaded = CheckConfiguration(document.Text, checked); loaded != status::Ok) {
      return Unsound(error, checked.Error, loaded);
    }
    lines.push_back(L"document: " + std::to_wstring(document.Text.size()) +
                    L" bytes, loads with the stub's loader on x86, x64 and ARM64.");
    for (const std::wstring& note : checked.Notes) lines.push_back(L"document: note: " + note);
  } else if (document.AnyRcData) {
    return Unsound(error, L"the image holds RT_RCDATA resources but no configuration document (222, language "
                          L"1033): the stub would run without the configuration it was meant to carry.");
  } else {
    lines.push_back(L"document: none; the installer asks where to unpack, offering the current folder.");
  }

  InstalledPayload payload;
  if (const VMStatus found = CheckInstalledPayload(file, installer, payload, error, progress); found != status::Ok) {
    // The payload begins where the image ends; its start header tells how
    // long it should be.
    NameMissingBytes(file, imageEnd, L"the payload of " + installer, error);
    return found;
  }
  if (payload.Offset != imageEnd) {
    return Unsound(error, L"the payload begins at offset " + std::to_wstring(payload.Offset) +
                              L", not where the image ends (" + std::to_wstring(imageEnd) + L").");
  }
  const std::uint64_t payloadEnd = payload.Offset + payload.Size;
  lines.push_back(L"payload: " + std::to_wstring(payload.ItemCount) + (payload.ItemCount == 1 ? L" item, " : L" items, ") +
                  std::to_wstring(payload.Size) + L" bytes at offset " + std::to_wstring(payload.Offset) +
                  L", methods " + (payload.Methods.empty() ? L"-" : payload.Methods) +
                  L"; item paths pass and every item decodes intact.");
  lines.push_back(DecodingLine(payload.MostLzma2Blocks, payload.Methods));
  VM_RETURN_IF_FAILED(CheckDigestResource(image, file, payload.Offset, lines, error));

  const std::uint32_t certificateAt = facts.CertificateAt;
  const std::uint32_t certificateSize = facts.CertificateSize;
  if (certificateSize == 0) {
    if (fileSize != payloadEnd) {
      return Unsound(error, std::to_wstring(fileSize - payloadEnd) +
                                L" bytes follow the payload that are no signature (damage, or something appended).");
    }
    // A release gate asks for this: an unsigned build must not pass as
    // ready to ship.
    if (requireSignature) {
      return Unsound(error, L"no certificate table follows the payload: " + installer +
                                L" is not signed, and --require-signature asks for a signature.");
    }
    lines.push_back(L"signature: none.");
    return status::Ok;
  }
  if (certificateAt < payloadEnd || certificateAt - payloadEnd >= kCertificateAlignment ||
      std::uint64_t{certificateAt} + certificateSize != fileSize) {
    return Unsound(error, L"the certificate table (offset " + std::to_wstring(certificateAt) + L", " +
                              std::to_wstring(certificateSize) +
                              L" bytes) does not follow the payload to the end of the file.");
  }
  lines.push_back(L"signature: present, a certificate table of " + std::to_wstring(certificateSize) +
                  L" bytes behind the payload; whether it holds is for osslsigncode verify to say.");
  return status::Ok;
}
