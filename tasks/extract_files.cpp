// SPDX-License-Identifier: Apache-2.0
#include "tasks/extract_files.h"

#include <algorithm>
#include <bit>
#include <vector>

#include "config/stub_status.h"
#include "support/vm_handle.h"
#include "support/vm_trace.h"
#include "support/vm_win_long_path.h"
#include "support/vm_win_module_file_name.h"
#include "payload/archive_item_path.h"
#include "tasks/delete_extracted_files.h"
#include "tasks/extract_callback.h"
#include "payload/handle_in_stream.h"
#include "payload/item_path.h"
#include "tasks/payload_digest_check.h"
#include "payload/payload_start.h"

#include "Windows/PropVariant.h"

// The archive library's own factory for its compiled-in format handlers.
STDAPI CreateArchiver(const GUID* clsid, const GUID* iid, void** outObject);

namespace {

using velmora::VMStatus;
namespace status = velmora::status;

// The class of the library's 7z handler: its handler base identifier with
// the 7z format id (7) in byte 13.
constexpr GUID kSevenZipHandler = {0x23170F69, 0x40C1, 0x278A, {0x10, 0x00, 0x00, 0x01, 0x10, 0x07, 0x00, 0x00}};

// Behind an image the payload is opened where the image ends (a search
// limit of 0: the archive starts there or not at all); a file without an
// image is searched for the signature header among its first 8 MiB.
constexpr UInt64 kMaxPayloadStart = UInt64{8} << 20;
constexpr UInt64 kAtStart = 0;

// Reading only, and nobody may write meanwhile.
velmora::VMUniqueFile OpenArchiveFile(const std::wstring& path) {
  return velmora::VMUniqueFile(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// What `record` says this run made goes, by identity, as the launch
// clean-up removes it; what was there before stays. The record outlives
// the call.
void RemoveWhatWasMade(const std::wstring& targetFolder, ExtractionRecord& record) {
  DeleteExtractedFiles undo;
  undo.TargetFolder = targetFolder;
  undo.Record = std::shared_ptr<ExtractionRecord>(std::shared_ptr<void>(), &record);
  std::uint32_t ignored = 0;
  (void)undo.run(ignored);
}

VMStatus Fail(const char* reason, const char* function = VM_CALLER_NAME) {
  VM_TRACE_FROM(function, "ERROR", "%s\n", reason);
  return status::Failed;
}

// Creates `folder` (in its long form, ending with a separator) and every
// missing parent, from the deepest level that exists downward. An existing
// folder is fine. The first creation that fails gives the error: the levels
// below it would only report that their parent is missing.
VMStatus CreateFolderTree(const std::wstring& folder, ExtractionRecord* record) {
  std::vector<std::size_t> levelEnds;
  for (std::size_t i = velmora::VMWinLongPathRootLength(folder); i < folder.size(); ++i) {
    if (IsSeparator(folder[i]) && !IsSeparator(folder[i - 1])) levelEnds.push_back(i);
  }
  std::size_t missing = levelEnds.size();
  while (missing > 0 && GetFileAttributesW(folder.substr(0, levelEnds[missing - 1]).c_str()) == INVALID_FILE_ATTRIBUTES) {
    --missing;
  }
  for (; missing < levelEnds.size(); ++missing) {
    const std::wstring level = folder.substr(0, levelEnds[missing]);
    if (CreateDirectoryW(level.c_str(), nullptr)) {
      if (record) record->AddFolder(level);
    } else if (GetLastError() != ERROR_ALREADY_EXISTS) {
      return velmora::LastErrorOr();
    }
  }
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return status::Ok;
  return ERROR_DIRECTORY;
}

// Decoding threads: at most one per logical processor this process may run
// on, and never more than 8, beyond which an installer unpacks hardly faster
// while each LZMA2 thread holds blocks of up to four dictionaries. The
// library lowers the count further where the blocks of a payload would not
// fit in half the physical memory or 1 GiB, whichever is less (a 32-bit
// process has 2 GiB of address space, and the rest of the run needs some).
constexpr UInt32 kMaxDecodingThreads = 8;
constexpr UInt64 kMaxDecodingMemory = UInt64{1} << 30;

VMStatus SetDecodingThreads(IInArchive& archive) {
  CMyComPtr<ISetProperties> setter;
  if (archive.QueryInterface(IID_ISetProperties, reinterpret_cast<void**>(&setter)) != S_OK) return status::Ok;
  DWORD_PTR processMask = 0;
  DWORD_PTR systemMask = 0;
  UInt32 threads = 1;
  if (GetProcessAffinityMask(GetCurrentProcess(), &processMask, &systemMask)) {
    threads = std::clamp<UInt32>(static_cast<UInt32>(std::popcount(processMask)), 1, kMaxDecodingThreads);
  }
  MEMORYSTATUSEX memory{};
  memory.dwLength = sizeof memory;
  UInt64 limit = kMaxDecodingMemory;
  if (GlobalMemoryStatusEx(&memory)) limit = std::min<UInt64>(limit, memory.ullTotalPhys / 2);
  const wchar_t* const names[] = {L"mt", L"memuse"};
  NWindows::NCOM::CPropVariant values[2];
  values[0] = threads;
  values[1] = limit;
  return setter->SetProperties(names, values, 2) == S_OK ? status::Ok : Fail("decoding threads cannot be set");
}

bool IsTrue(IInArchive& archive, UInt32 index, PROPID property) {
  NWindows::NCOM::CPropVariant value;
  return archive.GetProperty(index, property, &value) == S_OK && value.vt == VT_BOOL && value.boolVal != VARIANT_FALSE;
}

// Looks at every item before anything is written, so that a payload with
// one unsafe item leaves no trace at all. With `keepExisting`, an item whose
// place in `folder` is taken is refused as well: a file there may be the
// user's own, and writing over it would lose it for good once the clean-up
// removes the payload's copy. A folder that stands where the payload has a
// folder is used as it is.
VMStatus CheckAllItems(IInArchive& archive, const std::wstring& folder, bool keepExisting) {
  UInt32 count = 0;
  if (archive.GetNumberOfItems(&count) != S_OK) return status::Failed;
  std::wstring path;
  for (UInt32 i = 0; i < count; ++i) {
    if (ReadItemPath(archive, i, path) != S_OK) return status::Failed;
    if (!IsSafeItemPath(path)) {
      VM_TRACE("ERROR", "unsafe item path %.200S\n", path.c_str());
      return status::Failed;
    }
    if (!keepExisting) continue;
    const DWORD existing = GetFileAttributesW((folder + ItemDiskPath(path.empty() ? kItemDefaultName : path)).c_str());
    if (existing == INVALID_FILE_ATTRIBUTES) continue;
    const bool folderItem = IsTrue(archive, i, kpidIsDir) && !IsTrue(archive, i, kpidIsAnti);
    if (!folderItem || !(existing & FILE_ATTRIBUTE_DIRECTORY) || (existing & FILE_ATTRIBUTE_REPARSE_POINT)) {
      VM_TRACE("ERROR", "the place of item %.200S is taken\n", path.c_str());
      return stub_status::ItemPlaceTaken;
    }
  }
  return status::Ok;
}

}  // namespace

ExtractFiles::ExtractFiles() { Description = L"Files are being extracted. Please wait..."; }

velmora::VMStatus ExtractFiles::run(std::uint32_t& exitCodeOut) {
  exitCodeOut = 0;
  // The digest and the archive are read through one handle, so what was
  // checked is what is unpacked.
  velmora::VMUniqueFile own;
  HANDLE file = Source ? Source->Handle() : nullptr;
  if (!Source) {
    velmora::VMWinModuleFileName self;
    VM_RETURN_IF_FAILED(self.InitWithModuleHandle());
    own = OpenArchiveFile(self.FullPath);
    if (!own) return Fail("archive file cannot be opened");
    file = own.get();
  }
  PayloadDigestCheck digest;
  VM_RETURN_IF_FAILED(digest.Start(file, RequirePayloadDigest));
  const VMStatus extracted = ExtractArchive(file, TargetFolder, Record.get());
  const VMStatus checked = digest.Finish();
  if (checked == status::Ok) return extracted;
  // A payload the image does not name: whatever was unpacked from it goes
  // (a failed extraction has removed its part already), and the refusal
  // stands over the extraction's own result.
  if (extracted == status::Ok && Record) RemoveWhatWasMade(TargetFolder, *Record);
  return checked;
}

VMStatus ExtractArchive(const std::wstring& archiveFile, const std::wstring& targetFolder, ExtractionRecord* record) {
  const velmora::VMUniqueFile file = OpenArchiveFile(archiveFile);
  if (!file) return Fail("archive file cannot be opened");
  return ExtractArchive(file.get(), targetFolder, record);
}

VMStatus ExtractArchive(HANDLE archiveFile, const std::wstring& targetFolder, ExtractionRecord* record) {
  FILETIME lastWrite{};
  if (!GetFileTime(archiveFile, nullptr, nullptr, &lastWrite)) return Fail("archive file cannot be read");

  CMyComPtr<IInArchive> archive;
  if (CreateArchiver(&kSevenZipHandler, &IID_IInArchive, reinterpret_cast<void**>(&archive)) != S_OK) {
    return Fail("no 7z handler");
  }
  CMyComPtr<IInStream> fileStream = new HandleInStream(archiveFile);
  // An archive hidden inside the image (in a resource, say) is never taken
  // for the payload.
  UInt64 imageEnd = 0;
  const bool image = FindImageEnd(*fileStream, imageEnd);
  if (fileStream->Seek(static_cast<Int64>(imageEnd), STREAM_SEEK_SET, nullptr) != S_OK ||
      archive->Open(fileStream, image ? &kAtStart : &kMaxPayloadStart, nullptr) != S_OK) {
    return Fail("no 7z archive found");
  }

  // One form for every path of the run: the long one, which neither the
  // length of deep item paths nor Windows' rewriting of plain paths affects.
  // Without a folder the items would be joined to the working directory,
  // wherever the installer happened to be started.
  std::wstring folder;
  VMStatus result = targetFolder.empty() ? ERROR_PATH_NOT_FOUND : velmora::VMWinLongPath(targetFolder, folder);
  if (result == status::Ok && !IsSeparator(folder.back())) folder += L'\\';
  if (result == status::Ok) result = SetDecodingThreads(*archive);
  if (result == status::Ok) result = CheckAllItems(*archive, folder, record != nullptr && record->KeepExisting);
  if (result == status::Ok) result = CreateFolderTree(folder, record);
  if (result == status::Ok) {
    CMyComPtr<CExtractCallbackSfxImp> callback = new CExtractCallbackSfxImp;
    callback->Init(archive, folder, kItemDefaultName, lastWrite, 0, record);
    const HRESULT extracted = archive->Extract(nullptr, static_cast<UInt32>(-1), 0, callback);
    callback->DiscardUnfinishedFile();
    callback->FinishDirectories();
    if (extracted != S_OK || callback->IsCorrupt()) {
      VM_TRACE("ERROR", "extraction failed, hr=0x%08lx %S\n", static_cast<unsigned long>(extracted),
               callback->Message().c_str());
      result = status::Failed;
    }
  }
  archive->Close();
  if (result != status::Ok && record != nullptr) RemoveWhatWasMade(targetFolder, *record);
  return result;
}
