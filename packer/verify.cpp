#include "packer/verify.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

#include "config/cfg.h"
#include "packer/config_check.h"
#include "packer/installer_writer.h"
#include "packer/payload_check.h"
#include "packer/pe_resources.h"
#include "packer/status_text.h"

using velmora::VMStatus;
namespace status = velmora::status;

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kRcDataType = 10;
constexpr std::uint32_t kSecurityDirectory = 4;
constexpr std::uint32_t kResourceDirectory = 2;
// The certificate table starts on an 8-byte boundary behind the payload.
constexpr std::uint64_t kCertificateAlignment = 8;

std::uint32_t Le(const Bytes& bytes, std::uint64_t at, int size) {
  if (at + size > bytes.size()) return 0;
  std::uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = (value << 8) | bytes[at + i];
  return value;
}

// The parts of the image's headers the check reads; GetImageEnd has already
// accepted the file as a 32-bit x86 image.
struct Headers {
  std::uint64_t OptionalAt = 0;
  std::uint64_t SectionsAt = 0;
  std::uint32_t SectionCount = 0;
  std::uint32_t DirectoryCount = 0;
};

Headers ReadHeaders(const Bytes& image) {
  Headers headers;
  const std::uint64_t nt = Le(image, 0x3C, 4);
  headers.SectionCount = Le(image, nt + 6, 2);
  headers.OptionalAt = nt + 24;
  headers.SectionsAt = headers.OptionalAt + Le(image, nt + 20, 2);
  headers.DirectoryCount = Le(image, headers.OptionalAt + 92, 4);
  return headers;
}

// Data directory `index`: its address (a file offset for the certificate
// table, an RVA otherwise) and size.
std::pair<std::uint32_t, std::uint32_t> Directory(const Bytes& image, const Headers& headers, std::uint32_t index) {
  if (index >= headers.DirectoryCount) return {0, 0};
  const std::uint64_t at = headers.OptionalAt + 96 + 8 * index;
  return {Le(image, at, 4), Le(image, at + 4, 4)};
}

std::optional<std::uint64_t> FileOffset(const Bytes& image, const Headers& headers, std::uint32_t rva) {
  for (std::uint32_t i = 0; i < headers.SectionCount; ++i) {
    const std::uint64_t section = headers.SectionsAt + 40 * i;
    const std::uint32_t address = Le(image, section + 12, 4);
    const std::uint32_t rawSize = Le(image, section + 16, 4);
    if (rva >= address && rva - address < rawSize) return Le(image, section + 20, 4) + (rva - address);
  }
  return std::nullopt;
}

// The entries of the resource directory at `at` (relative to the resource
// section): id and the offset or subdirectory they lead to.
std::vector<std::pair<std::uint32_t, std::uint32_t>> ResourceEntries(const Bytes& image, std::uint64_t root,
                                                                     std::uint32_t at) {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> entries;
  const std::uint32_t named = Le(image, root + at + 12, 2);
  const std::uint32_t ids = Le(image, root + at + 14, 2);
  for (std::uint32_t i = named; i < named + ids; ++i) {
    const std::uint64_t entry = root + at + 16 + 8 * i;
    entries.emplace_back(Le(image, entry, 4), Le(image, entry + 4, 4));
  }
  return entries;
}

struct DocumentLookup {
  bool Found = false;
  std::string Text;
  // Languages the resource exists in other than the one the stub asks for.
  std::vector<std::uint32_t> OtherLanguages;
};

// RT_RCDATA 222 as the stub looks it up: that type, that name, language 1033.
DocumentLookup FindDocument(const Bytes& image, const Headers& headers) {
  DocumentLookup lookup;
  constexpr std::uint32_t kSubdirectory = 0x80000000u;
  const auto [rva, size] = Directory(image, headers, kResourceDirectory);
  const std::optional<std::uint64_t> root = size != 0 ? FileOffset(image, headers, rva) : std::nullopt;
  if (!root) return lookup;
  const auto child = [&](std::uint32_t directory, std::uint32_t id) -> std::optional<std::uint32_t> {
    for (const auto& [entryId, target] : ResourceEntries(image, *root, directory)) {
      if (entryId == id && (target & kSubdirectory)) return target & ~kSubdirectory;
    }
    return std::nullopt;
  };
  const std::optional<std::uint32_t> type = child(0, kRcDataType);
  const std::optional<std::uint32_t> name = type ? child(*type, kConfigurationId) : std::nullopt;
  if (!name) return lookup;
  for (const auto& [language, target] : ResourceEntries(image, *root, *name)) {
    if (language != kConfigurationLanguage || (target & kSubdirectory)) {
      lookup.OtherLanguages.push_back(language);
      continue;
    }
    const std::uint32_t dataRva = Le(image, *root + target, 4);
    const std::uint32_t dataSize = Le(image, *root + target + 4, 4);
    const std::optional<std::uint64_t> data = FileOffset(image, headers, dataRva);
    if (!data || *data + dataSize > image.size()) continue;
    lookup.Found = true;
    // The stub reads its document as a terminated text.
    const char* text = reinterpret_cast<const char*>(image.data() + *data);
    lookup.Text.assign(text, strnlen(text, dataSize));
  }
  return lookup;
}

VMStatus ReadStart(const std::wstring& path, std::uint64_t size, Bytes& bytes) {
  std::ifstream file(std::filesystem::path(path), std::ios::binary);
  bytes.resize(size);
  if (!file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) return status::FileOpenFailed;
  return status::Ok;
}

VMStatus Unsound(std::wstring& error, std::wstring text, VMStatus code = status::InvalidValue) {
  error = std::move(text);
  return code;
}

}  // namespace

VMStatus VerifyInstaller(const std::wstring& installer, std::vector<std::wstring>& lines, std::wstring& error) {
  lines.clear();
  error.clear();
  // The stub finds its payload only within the first 8 MiB, so its image
  // must end there: that much of the file is all the check reads.
  std::error_code failed;
  const std::uint64_t fileSize = std::filesystem::file_size(std::filesystem::path(installer), failed);
  Bytes bytes;
  if (failed || ReadStart(installer, std::min<std::uint64_t>(fileSize, kPayloadSearchLimit), bytes) != status::Ok) {
    return Unsound(error, L"cannot read " + installer + L".", status::FileOpenFailed);
  }
  std::uint64_t imageEnd = 0;
  if (pe_resources::GetImageEnd(bytes, imageEnd) != status::Ok) {
    return Unsound(error, installer + (fileSize > kPayloadSearchLimit
                                           ? L" is not a 32-bit x86 Windows program whose image ends within the "
                                             L"8 MiB the stub searches for its payload."
                                           : L" is not a 32-bit x86 Windows program."));
  }
  bytes.resize(imageEnd);
  const Headers headers = ReadHeaders(bytes);
  lines.push_back(L"image: a 32-bit x86 Windows program of " + std::to_wstring(imageEnd) + L" bytes.");

  const DocumentLookup document = FindDocument(bytes, headers);
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
  } else {
    lines.push_back(L"document: none; the installer asks where to unpack, offering the current folder.");
  }

  InstalledPayload payload;
  VM_RETURN_IF_FAILED(CheckInstalledPayload(installer, payload, error));
  if (payload.Offset != imageEnd) {
    return Unsound(error, L"the payload begins at offset " + std::to_wstring(payload.Offset) +
                              L", not where the image ends (" + std::to_wstring(imageEnd) + L").");
  }
  const std::uint64_t payloadEnd = payload.Offset + payload.Size;
  lines.push_back(L"payload: " + std::to_wstring(payload.ItemCount) + (payload.ItemCount == 1 ? L" item, " : L" items, ") +
                  std::to_wstring(payload.Size) + L" bytes at offset " + std::to_wstring(payload.Offset) +
                  L", methods " + (payload.Methods.empty() ? L"-" : payload.Methods) +
                  L"; item paths pass and every item decodes intact.");

  const auto [certificateAt, certificateSize] = Directory(bytes, headers, kSecurityDirectory);
  if (certificateSize == 0) {
    if (fileSize != payloadEnd) {
      return Unsound(error, std::to_wstring(fileSize - payloadEnd) +
                                L" bytes follow the payload that are no signature (damage, or something appended).");
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
