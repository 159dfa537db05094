// SPDX-License-Identifier: Apache-2.0
#include "packer/archive/payload_check.h"

#include <algorithm>
#include <cwchar>
#include <iterator>

#include "7zip/Archive/IArchive.h"
#include "Common/MyCom.h"
#include "Windows/PropVariant.h"
#include "packer/archive/archive_access.h"
#include "packer/input_file.h"
#include "packer/installer_writer.h"
#include "packer/archive/item_names.h"
#include "packer/archive/lzma2_blocks.h"
#include "packer/progress.h"
#include "packer/status_text.h"
#include "payload/archive_item_path.h"
#include "payload/item_path.h"

using velmora::VMStatus;
namespace status = velmora::status;

namespace {

// --verify decodes what a stranger's file declares only up to here: more
// than this in all, or more than kRatioLimit times the archive's size above
// kRatioFloor, is said and not decoded.
constexpr std::uint64_t kDecodeLimit = std::uint64_t{64} << 30;
constexpr std::uint64_t kRatioLimit = 2000;
constexpr std::uint64_t kRatioFloor = std::uint64_t{1} << 30;

bool ItemFlag(IInArchive* archive, UInt32 index, PROPID id);

// Decodes every item without writing anything and keeps the first item whose
// data did not come out intact. Testing goes on after a failure, so the
// library never sees an error of ours.
Z7_CLASS_IMP_COM_1(CPayloadTestCallback, IArchiveExtractCallback)
  Z7_IFACE_COM7_IMP(IProgress)

 public:
  CPayloadTestCallback(IInArchive* archive, ProgressLine* progress, std::uint64_t files)
      : Archive(archive), Progress(progress), Files(files) {}
  IInArchive* Archive;
  ProgressLine* Progress;
  std::uint64_t Files;
  UInt32 CurrentIndex = 0;
  bool Failed = false;
  UInt32 FailedIndex = 0;
  Int32 FailedResult = NArchive::NExtract::NOperationResult::kOK;
};

Z7_COM7F_IMF(CPayloadTestCallback::SetTotal(UInt64 total)) {
  if (Progress) Progress->SetTotal(total, Files);
  return S_OK;
}

Z7_COM7F_IMF(CPayloadTestCallback::SetCompleted(const UInt64* done)) {
  if (Progress && done) Progress->SetBytesDone(*done);
  return S_OK;
}

Z7_COM7F_IMF(CPayloadTestCallback::GetStream(UInt32 index, ISequentialOutStream** outStream, Int32)) {
  *outStream = nullptr;
  CurrentIndex = index;
  if (Progress && !ItemFlag(Archive, index, kpidIsDir)) Progress->FileStarted();
  return S_OK;
}

Z7_COM7F_IMF(CPayloadTestCallback::PrepareOperation(Int32)) { return S_OK; }

Z7_COM7F_IMF(CPayloadTestCallback::SetOperationResult(Int32 result)) {
  if (result != NArchive::NExtract::NOperationResult::kOK && !Failed) {
    Failed = true;
    FailedIndex = CurrentIndex;
    FailedResult = result;
  }
  return S_OK;
}

std::wstring ItemString(IInArchive* archive, UInt32 index, PROPID id) {
  NWindows::NCOM::CPropVariant value;
  if (archive->GetProperty(index, id, &value) != S_OK || value.vt != VT_BSTR) return {};
  return value.bstrVal;
}

bool ItemFlag(IInArchive* archive, UInt32 index, PROPID id) {
  NWindows::NCOM::CPropVariant value;
  return archive->GetProperty(index, id, &value) == S_OK && value.vt == VT_BOOL && value.boolVal != VARIANT_FALSE;
}

bool ItemHas(IInArchive* archive, UInt32 index, PROPID id) {
  NWindows::NCOM::CPropVariant value;
  return archive->GetProperty(index, id, &value) == S_OK && value.vt != VT_EMPTY;
}

UInt64 ItemSize(IInArchive* archive, UInt32 index) {
  NWindows::NCOM::CPropVariant value;
  if (archive->GetProperty(index, kpidSize, &value) != S_OK) return 0;
  return value.vt == VT_UI8 ? value.uhVal.QuadPart : value.vt == VT_UI4 ? value.ulVal : 0;
}

// A symbolic link stored by a Windows packer (the reparse-point attribute) or
// by a Unix one (the link type in the Unix mode of the upper 16 bits).
bool IsLinkItem(IInArchive* archive, UInt32 index) {
  NWindows::NCOM::CPropVariant value;
  if (archive->GetProperty(index, kpidAttrib, &value) != S_OK || value.vt != VT_UI4) return false;
  constexpr UInt32 kUnixExtension = 0x8000;
  constexpr UInt32 kUnixTypeMask = 0170000;
  constexpr UInt32 kUnixLink = 0120000;
  const UInt32 attributes = value.ulVal;
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
         ((attributes & kUnixExtension) && ((attributes >> 16) & kUnixTypeMask) == kUnixLink);
}

// Why the stub would not unpack item `index` as it stands, or empty.
std::wstring ItemRefusal(IInArchive* archive, UInt32 index, const std::wstring& name) {
  const std::wstring quoted = L"the payload item \"" + name + L"\"";
  switch (FindItemPathRisk(name)) {
    case ItemPathRisk::None:
      break;
    case ItemPathRisk::LeavesTarget:
      return quoted + L" would be written outside the target folder (or onto the folder itself); the stub refuses it.";
    case ItemPathRisk::NamesDevice:
      return quoted + L" names a Windows device such as CON, NUL or COM1; the stub refuses it.";
    case ItemPathRisk::NotKeptByWindows:
      return quoted + L" has a name Windows cannot keep (a trailing dot or space, or one of < > \" | ? * or a "
                      L"control character); the stub refuses it.";
    case ItemPathRisk::TooLong:
      return L"a payload item has a path of " + std::to_wstring(name.size()) + L" characters; the stub takes at most " +
             std::to_wstring(kItemPathLimit - 1) + L".";
  }
  if (ItemFlag(archive, index, kpidEncrypted)) return quoted + L" is encrypted; the stub never supplies a password.";
  if (ItemFlag(archive, index, kpidIsAnti)) {
    return quoted + L" is a deletion marker (anti-item); an installer would delete files with it.";
  }
  if (IsLinkItem(archive, index)) return quoted + L" is a symbolic link; the stub unpacks no links.";
  // Without a checksum, damaged data would unpack as if it were sound.
  if (!ItemFlag(archive, index, kpidIsDir) && ItemSize(archive, index) != 0 && !ItemHas(archive, index, kpidCRC)) {
    return quoted + L" has no CRC, so damage to it could not be detected.";
  }
  return {};
}

// Where the library found the archive in the file it opened.
std::uint64_t ArchiveOffset(IInArchive* archive) {
  NWindows::NCOM::CPropVariant value;
  if (archive->GetArchiveProperty(kpidOffset, &value) != S_OK) return 0;
  return value.vt == VT_UI8 ? value.uhVal.QuadPart : value.vt == VT_UI4 ? value.ulVal : 0;
}

// The coding methods as the library names them ("BCJ2 LZMA2:26 LZMA:20").
std::wstring ArchiveMethods(IInArchive* archive) {
  NWindows::NCOM::CPropVariant value;
  if (archive->GetArchiveProperty(kpidMethod, &value) != S_OK || value.vt != VT_BSTR) return {};
  return value.bstrVal;
}

std::wstring ResultText(Int32 result) {
  namespace r = NArchive::NExtract::NOperationResult;
  switch (result) {
    case r::kUnsupportedMethod:
      return L"uses a coding method the stub does not have";
    case r::kCRCError:
      return L"fails its CRC check";
    case r::kDataError:
      return L"has damaged data";
    case r::kWrongPassword:
      return L"is encrypted";
    default:
      return L"cannot be unpacked (result " + std::to_wstring(result) + L")";
  }
}

std::wstring HexResult(HRESULT result) {
  wchar_t text[16] = {};
  std::swprintf(text, std::size(text), L"0x%08X", static_cast<unsigned>(result));
  return text;
}

// Opens the open file `file` (named `path`) with the 7z handler, which looks
// for the archive's start from the first byte on within `searchLimit` bytes
// (0: at the first byte only; never unbounded, which would read a large file
// to its end).
VMStatus OpenArchive(InputFile& file, const std::wstring& path, UInt64 searchLimit, CMyComPtr<IInArchive>& archive,
                     std::wstring& error) {
  // The handler starts where the stream stands.
  archive = NewSevenZipReader();
  if (file.Stream()->Seek(0, STREAM_SEEK_SET, nullptr) != S_OK ||
      archive->Open(file.Stream(), &searchLimit, nullptr) != S_OK) {
    error = path + L" is not a 7z archive the stub can open (or it is damaged, or its headers are encrypted).";
    return status::Failed;
  }
  return status::Ok;
}

// The item rules and the test decode on an opened archive.
VMStatus CheckArchiveItems(IInArchive* archive, const std::wstring& path, std::uint64_t& itemCount,
                           std::wstring& error, ProgressLine* progress = nullptr,
                           std::vector<std::wstring>* itemPaths = nullptr) {
  itemCount = 0;
  UInt32 count = 0;
  if (archive->GetNumberOfItems(&count) != S_OK) {
    error = L"cannot read the item list of " + path + L".";
    return status::Failed;
  }
  ItemNames names;
  std::uint64_t files = 0;
  for (UInt32 i = 0; i < count; ++i) {
    std::wstring name;
    if (ReadItemPath(*archive, i, name) != S_OK) {
      error = L"cannot read the item list of " + path + L".";
      return status::Failed;
    }
    // An item without a path is unpacked under the default name, which may
    // then clash with another one.
    if (name.empty()) name = kItemDefaultName;
    error = ItemRefusal(archive, i, name);
    if (!error.empty()) return status::InvalidValue;
    const bool folder = ItemFlag(archive, i, kpidIsDir);
    if (itemPaths != nullptr) itemPaths->push_back(name);
    names.Add(name, folder);
    files += folder ? 0 : 1;
  }
  if (names.FindConflict(error)) return status::InvalidValue;

  CPayloadTestCallback* tester = new CPayloadTestCallback(archive, progress, files);
  CMyComPtr<IArchiveExtractCallback> test = tester;
  const HRESULT tested = archive->Extract(nullptr, static_cast<UInt32>(-1), 1, test);
  if (progress) progress->Finish();
  if (tester->Failed) {
    const UInt32 index = tester->FailedIndex;
    std::wstring method = ItemString(archive, index, kpidMethod);
    if (!method.empty()) method = L" (method " + method + L")";
    error = L"the payload item \"" + ItemString(archive, index, kpidPath) + L"\"" + method + L" " +
            ResultText(tester->FailedResult) + L".";
    return status::InvalidValue;
  }
  if (tested != S_OK) {
    error = L"the payload " + path + L" cannot be unpacked (archive library result " + HexResult(tested) + L").";
    return status::InvalidValue;
  }
  itemCount = count;
  return status::Ok;
}

}  // namespace

VMStatus CheckPayload(InputFile& file, const std::wstring& path, std::uint64_t& itemCount, std::wstring& error,
                      std::vector<std::wstring>* itemPaths) {
  itemCount = 0;
  // Bytes before the archive would end up between the image and the
  // archive, where the stub does not look.
  CMyComPtr<IInArchive> archive;
  if (const VMStatus opened = OpenArchive(file, path, 0, archive, error); opened != status::Ok) {
    NameMissingBytes(file, 0, L"the payload " + path, error);
    return opened;
  }
  return CheckArchiveItems(archive, path, itemCount, error, nullptr, itemPaths);
}

namespace {

// The CRC-32 of the 7z format (the one of zip and PNG), bit by bit: it runs
// only over one start header, after a payload failed to open.
std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
  }
  return ~crc;
}

}  // namespace

void NameMissingBytes(InputFile& file, std::uint64_t offset, const std::wstring& what, std::wstring& error) {
  // The start header: the signature, two version bytes, its own CRC, then
  // the offset and the size of the end header behind it.
  constexpr std::uint8_t kSignature[] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};
  constexpr std::uint64_t kStartHeaderSize = 32;
  std::vector<std::uint8_t> bytes;
  if (file.Size() < offset + kStartHeaderSize || file.ReadStart(offset + kStartHeaderSize, bytes) != status::Ok ||
      bytes.size() < offset + kStartHeaderSize || !std::equal(std::begin(kSignature), std::end(kSignature), bytes.begin() + offset)) {
    return;
  }
  auto get = [&](std::size_t at, int size) {
    std::uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes[offset + at + i];
    return value;
  };
  // A damaged start header says nothing about the length.
  if (get(8, 4) != Crc32(bytes.data() + offset + 12, 20)) return;
  const auto get64 = [&](std::size_t at) { return get(at, 8); };
  const std::uint64_t nextOffset = get64(12);
  const std::uint64_t nextSize = get64(20);
  const std::uint64_t held = file.Size() - offset;
  // Sizes beyond any real file are no short copy either.
  constexpr std::uint64_t kPlausible = std::uint64_t{1} << 48;
  if (nextOffset >= kPlausible || nextSize >= kPlausible) return;
  const std::uint64_t declared = kStartHeaderSize + nextOffset + nextSize;
  if (declared <= held) return;
  const std::uint64_t missing = declared - held;
  error = what + L" is cut short: " + std::to_wstring(missing) + (missing == 1 ? L" byte" : L" bytes") +
          L" missing (its start header declares " + std::to_wstring(declared) + L" bytes, " +
          std::to_wstring(held) + L" are there); copy or download it again.";
}

VMStatus OpenPayload(InputFile& file, const std::wstring& path, std::wstring& error) {
  const VMStatus opened = file.Open(path);
  if (opened != status::Ok) error = L"cannot open " + path + L": " + DescribeStatus(opened) + L".";
  return opened;
}

VMStatus DescribePayloadDecoding(const std::wstring& path, std::wstring& line, std::wstring& error) {
  line.clear();
  InputFile file;
  VM_RETURN_IF_FAILED(OpenPayload(file, path, error));
  CMyComPtr<IInArchive> archive;
  VM_RETURN_IF_FAILED(OpenArchive(file, path, 0, archive, error));
  line = DecodingLine(MostLzma2Blocks(archive, file.Stream(), ArchiveOffset(archive)), ArchiveMethods(archive));
  return status::Ok;
}

VMStatus CheckInstalledPayload(InputFile& file, const std::wstring& installer, InstalledPayload& payload,
                               std::wstring& error, ProgressLine* progress) {
  payload = InstalledPayload{};
  CMyComPtr<IInArchive> archive;
  if (OpenArchive(file, installer, kPayloadSearchLimit, archive, error) != status::Ok) {
    error = L"the archive library finds no payload the stub can open within the first 8 MiB of " + installer +
            L" (none, a damaged one, or one with encrypted headers).";
    return status::Failed;
  }
  payload.Offset = ArchiveOffset(archive);
  NWindows::NCOM::CPropVariant value;
  if (archive->GetArchiveProperty(kpidPhySize, &value) == S_OK && value.vt == VT_UI8) {
    payload.Size = value.uhVal.QuadPart;
  }
  payload.Methods = ArchiveMethods(archive);
  UInt32 count = 0;
  std::uint64_t declared = 0;
  if (archive->GetNumberOfItems(&count) == S_OK) {
    // Stopping past the limit keeps the sum from wrapping.
    for (UInt32 i = 0; i < count && declared <= kDecodeLimit; ++i) {
      declared += std::min<std::uint64_t>(ItemSize(archive, i), kDecodeLimit + 1);
    }
  }
  if (declared > kDecodeLimit || (declared > kRatioFloor && declared / kRatioLimit > payload.Size)) {
    // The sum stopped counting past the limit.
    const std::wstring amount =
        declared > kDecodeLimit ? L"more than " + std::to_wstring(kDecodeLimit) : std::to_wstring(declared);
    error = L"the payload declares " + amount + L" bytes unpacked from " +
            std::to_wstring(payload.Size) + L"; --verify decodes at most " + std::to_wstring(kDecodeLimit) +
            L" bytes, and above " + std::to_wstring(kRatioFloor) + L" at most " + std::to_wstring(kRatioLimit) +
            L" times the archive's size.";
    return status::InvalidValue;
  }
  VM_RETURN_IF_FAILED(CheckArchiveItems(archive, installer, payload.ItemCount, error, progress));
  payload.MostLzma2Blocks = MostLzma2Blocks(archive, file.Stream(), payload.Offset);
  return status::Ok;
}

VMStatus CheckInstallerFindsPayload(const std::wstring& installer, std::uint64_t imageEnd, std::uint64_t itemCount,
                                    std::wstring& error) {
  InputFile file;
  CMyComPtr<IInArchive> archive;
  std::wstring why;
  UInt32 count = 0;
  if (file.Open(installer) != status::Ok || OpenArchive(file, installer, kPayloadSearchLimit, archive, why) != status::Ok ||
      archive->GetNumberOfItems(&count) != S_OK || count != itemCount) {
    error = L"the finished installer does not lead the archive library to its payload.";
    return status::Failed;
  }
  // An archive hidden in the resources (an icon, say) that the search
  // reaches first would be unpacked instead of the payload.
  const std::uint64_t offset = ArchiveOffset(archive);
  if (offset != imageEnd) {
    error = L"the archive library finds an archive at offset " + std::to_wstring(offset) + L" of the installer, not " +
            L"the payload where the image ends (" + std::to_wstring(imageEnd) + L").";
    return status::Failed;
  }
  return status::Ok;
}
