// SPDX-License-Identifier: Apache-2.0
#include "packer/pack.h"

#include "packer/config_check.h"
#include "packer/archive/folder_archive.h"
#include "packer/pe/icon_resource.h"
#include "packer/input_file.h"
#include "packer/installer_writer.h"
#include "packer/file_system.h"
#include "packer/archive/payload_check.h"
#include "packer/pe/pe_resources.h"
#include "packer/status_text.h"
#include "support/vm_scope_exit.h"

using velmora::VMStatus;
namespace status = velmora::status;

namespace {

// A configuration document or an icon is a few kilobytes; anything near this
// is not one.
constexpr std::uint32_t kDocumentSizeLimit = 16u * 1024 * 1024;

// Windows shows an icon at 256 pixels at most; a larger image only makes
// every download larger.
constexpr std::uint32_t kLargestShownIconSide = 256;

// Whether the file at `path` is a program with a certificate table: writing
// the installer over it drops that signature.
bool CarriesSignature(const std::wstring& path) {
  InputFile file;
  pe_resources::Bytes bytes;
  pe_resources::PeImage image;
  pe_resources::ImageFacts facts;
  std::wstring why;
  return file.Open(path) == status::Ok && file.ReadStart(kPayloadSearchLimit, bytes) == status::Ok &&
         image.Read(bytes, facts, why) == status::Ok && facts.CertificateSize != 0;
}

}  // namespace

VMStatus ReadConfigurationDocument(const std::wstring& path, std::string& text, std::wstring& error) {
  std::vector<std::uint8_t> bytes;
  const VMStatus result = ReadFileBytes(path, kDocumentSizeLimit, bytes);
  text.assign(bytes.begin(), bytes.end());
  if (result != status::Ok) {
    error = L"cannot read the configuration document " + path + L": " + DescribeStatus(result) + L".";
    return result;
  }
  // The stub reads its resource as a terminated text and would stop at a
  // NUL; a document that says more than the stub reads is refused.
  if (text.find('\0') != std::string::npos) {
    error = L"the configuration document " + path + L" contains a NUL byte.";
    return status::InvalidValue;
  }
  return status::Ok;
}

VMStatus FindDefaultStub(std::wstring& stub, std::wstring& error) {
  std::wstring folder;
  const VMStatus found = GetPackerFolder(folder);
  if (found != status::Ok) {
    error = L"cannot find the packer's own folder: " + DescribeStatus(found) + L".";
    return found;
  }
  const wchar_t separator = folder.back();
  const std::wstring beside = folder + L"vm-sfxstub.exe";
  const std::wstring installed = folder + L".." + separator + L"lib" + separator + L"vm-sfxstub" + separator +
                                 L"vm-sfxstub.exe";
  InputFile probe;
  const VMStatus missing = probe.Open(beside);
  if (missing == status::Ok || probe.Open(installed) == status::Ok) {
    stub = missing == status::Ok ? beside : installed;
    return status::Ok;
  }
  error = L"no stub beside the packer (" + beside + L") nor at " + installed + L"; name one with --stub STUB.exe.";
  return missing;
}

VMStatus Pack(const PackOptions& options, PackReport& report, std::wstring& error, ProgressLine* progress) {
  report = PackReport{};
  error.clear();
  InstallerParts parts;
  parts.Output = FullPath(options.Output);
  parts.Stub = options.Stub;
  if (parts.Stub.empty()) VM_RETURN_IF_FAILED(FindDefaultStub(parts.Stub, error));

  // Renaming the finished installer into place would destroy an input; one
  // inside the folder would be packed by the next run.
  const std::wstring* inputs[] = {&parts.Stub, &options.Config, &options.Payload, &options.Icon};
  for (const std::wstring* input : inputs) {
    if (SameFile(parts.Output, *input)) {
      error = L"the output " + options.Output + L" would replace the input " + *input + L".";
      return status::InvalidValue;
    }
  }
  // Said before any work, not as a failure to create a file at the end.
  if (!ParentFolderExists(parts.Output)) {
    error = L"the folder of the output " + options.Output + L" does not exist.";
    return status::NotFound;
  }
  if (!options.Folder.empty() && InsideFolder(parts.Output, options.Folder)) {
    error = L"the output " + options.Output + L" lies inside the folder " + options.Folder + L" that is packed.";
    return status::InvalidValue;
  }

  if (!options.Config.empty()) {
    std::string document;
    VM_RETURN_IF_FAILED(ReadConfigurationDocument(options.Config, document, error));
    ConfigCheckResult checked;
    const VMStatus loaded = CheckConfiguration(document, checked);
    if (loaded != status::Ok) {
      error = checked.Error;
      return loaded;
    }
    report.Notes = std::move(checked.Notes);
    parts.Document = std::move(document);
  }

  if (!options.Icon.empty()) {
    parts.IconPath = options.Icon;
    const VMStatus read = ReadFileBytes(options.Icon, kDocumentSizeLimit, parts.Icon);
    if (read != status::Ok) {
      error = L"cannot read the icon " + options.Icon + L": " + DescribeStatus(read) + L".";
      return read;
    }
    std::wstring why;
    if (CheckIconFile(parts.Icon, why) != status::Ok) {
      error = L"the icon " + options.Icon + L" is refused: " + why + L".";
      return status::InvalidValue;
    }
    if (const std::uint32_t side = LargestIconSide(parts.Icon); side > kLargestShownIconSide) {
      report.Notes.push_back(L"the icon " + options.Icon + L" holds an image of " + std::to_wstring(side) +
                             L" pixels; Windows shows icons up to 256 pixels, so it only makes the installer larger.");
    }
  }
  if (CarriesSignature(parts.Output)) {
    report.Notes.push_back(L"--output replaces " + options.Output +
                           L", which carries a signature (a certificate table); sign the new installer again.");
  }
  parts.VersionInfo = options.VersionInfo;

  // A folder becomes an archive beside the output first, which is removed
  // again whatever happens.
  std::wstring folderArchive;
  velmora::VMScopeExit removeFolderArchive([&] {
    if (!folderArchive.empty()) RemoveFile(folderArchive);
  });
  if (!options.Folder.empty()) {
    const VMStatus created = CreateTemporaryFile(parts.Output, L".7z", folderArchive);
    if (created != status::Ok) {
      folderArchive.clear();
      error = L"cannot create a file beside " + parts.Output + L": " + DescribeStatus(created) + L".";
      return created;
    }
    VM_RETURN_IF_FAILED(CompressFolder(options.Folder, options.Level, folderArchive, error, progress));
    parts.Payload = folderArchive;
  } else {
    parts.Payload = options.Payload;
  }

  // Our own archive is checked like a given one: what the stub accepts is
  // decided in one place. What was checked is what is written: both read
  // the one open file.
  InputFile payload;
  std::vector<std::wstring> itemPaths;
  VM_RETURN_IF_FAILED(OpenPayload(payload, parts.Payload, error));
  VM_RETURN_IF_FAILED(CheckPayload(payload, parts.Payload, report.ItemCount, error, &itemPaths));
  parts.PayloadFile = &payload;
  if (report.ItemCount == 0) {
    report.Notes.push_back((options.Folder.empty() ? L"the payload " + options.Payload : L"the folder " + options.Folder) +
                           L" holds nothing: the installer unpacks no file.");
  }
  if (parts.Document) NoteProgramsOutsidePayload(*parts.Document, itemPaths, report.Notes);
  // Before anything is written: a CI run with --strict leaves the older
  // installer as it was.
  if (options.Strict && !report.Notes.empty()) {
    error = L"--strict refuses an installer with " + std::to_wstring(report.Notes.size()) +
            (report.Notes.size() == 1 ? L" note" : L" notes") + L"; nothing was written.";
    return status::InvalidValue;
  }

  InstallerLayout layout;
  const std::uint64_t items = report.ItemCount;
  VM_RETURN_IF_FAILED(WriteInstaller(
      parts, layout, error, [items](const std::wstring& installer, std::uint64_t imageEnd, std::wstring& why) {
        return CheckInstallerFindsPayload(installer, imageEnd, items, why);
      }));
  report.StubSize = layout.StubSize;
  report.PayloadSize = layout.PayloadSize;
  return status::Ok;
}

std::wstring SummaryLine(const std::wstring& output, const PackReport& report) {
  return output + L": stub " + std::to_wstring(report.StubSize) + L" bytes, payload " +
         std::to_wstring(report.PayloadSize) + L" bytes, " + std::to_wstring(report.ItemCount) +
         (report.ItemCount == 1 ? L" item." : L" items.");
}
