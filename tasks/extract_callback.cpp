// SPDX-License-Identifier: Apache-2.0
#include "tasks/extract_callback.h"

#include <utility>

#include "Windows/PropVariant.h"
#include "support/vm_handle.h"
#include "support/vm_win_final_path.h"
#include "payload/archive_item_path.h"
#include "payload/item_path.h"

namespace {

using NArchive::NExtract::NAskMode::kExtract;
namespace op = NArchive::NExtract::NOperationResult;

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Archives made on Unix carry the Unix mode in the upper 16 bits, flagged by
// 0x8000. Windows knows neither and refuses the whole value, which would lose
// the read-only and hidden bits too.
constexpr UINT32 kUnixExtension = 0x8000;
UINT32 WindowsAttributes(UINT32 attributes) {
  return (attributes & kUnixExtension) ? (attributes & 0x7FFF) : attributes;
}

// The folder part of a relative disk path, empty for an item directly in
// the target folder.
std::wstring ParentOf(const std::wstring& relative) {
  const std::size_t separator = relative.rfind(L'\\');
  return separator == std::wstring::npos ? std::wstring() : relative.substr(0, separator);
}

// Through a handle on the folder itself: a link put in its place since is
// not followed.
void FinishFolder(const std::wstring& path, const FILETIME& time, UINT32 attributes) {
  velmora::VMUniqueFile folder(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_EXISTING,
                                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (folder) (void)SetStoredTimeAndAttributes(folder.get(), time, attributes);
}

}  // namespace

void CExtractCallbackSfxImp::Init(IInArchive* archive, std::wstring directoryPath, std::wstring itemDefaultName,
                                  FILETIME defaultModificationTime, UINT32 defaultAttributes,
                                  ExtractionRecord* record) {
  archive_ = archive;
  directoryPath_ = std::move(directoryPath);
  if (!directoryPath_.empty() && !IsSeparator(directoryPath_.back())) directoryPath_ += L'\\';
  itemDefaultName_ = std::move(itemDefaultName);
  defaultModificationTime_ = defaultModificationTime;
  defaultAttributes_ = defaultAttributes;
  message_.clear();
  corrupt_ = false;
  directories_.clear();
  folders_.clear();
  madeFolders_.clear();
  record_ = record;
}

STDMETHODIMP CExtractCallbackSfxImp::QueryInterface(REFIID iid, void** object) noexcept {
  if (!object) return E_POINTER;
  if (iid == IID_IUnknown) {
    *object = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CExtractCallbackSfxImp::AddRef() noexcept { return ++references_; }

STDMETHODIMP_(ULONG) CExtractCallbackSfxImp::Release() noexcept {
  if (--references_ != 0) return references_;
  delete this;
  return 0;
}

// The progress dialog shows a marquee bar only, so there is nothing to count.
Z7_COM7F_IMF(CExtractCallbackSfxImp::SetTotal(UInt64)) { return S_OK; }
Z7_COM7F_IMF(CExtractCallbackSfxImp::SetCompleted(const UInt64*)) { return S_OK; }

Z7_COM7F_IMF(CExtractCallbackSfxImp::PrepareOperation(Int32 askExtractMode)) {
  extractMode_ = askExtractMode == kExtract;
  return S_OK;
}

HRESULT CExtractCallbackSfxImp::Fail(const wchar_t* message) {
  message_ = message;
  return E_FAIL;
}

HRESULT CExtractCallbackSfxImp::ReadProperties(UInt32 index) {
  NWindows::NCOM::CPropVariant attributes;
  RINOK(archive_->GetProperty(index, kpidAttrib, &attributes))
  if (attributes.vt == VT_UI4) {
    attributes_ = attributes.ulVal;
  } else if (attributes.vt == VT_EMPTY) {
    attributes_ = defaultAttributes_;
  } else {
    return E_FAIL;
  }

  NWindows::NCOM::CPropVariant isDirectory;
  RINOK(archive_->GetProperty(index, kpidIsDir, &isDirectory))
  isDirectory_ = isDirectory.vt == VT_BOOL && isDirectory.boolVal != VARIANT_FALSE;

  NWindows::NCOM::CPropVariant isAnti;
  RINOK(archive_->GetProperty(index, kpidIsAnti, &isAnti))
  isAnti_ = isAnti.vt == VT_BOOL && isAnti.boolVal != VARIANT_FALSE;

  NWindows::NCOM::CPropVariant time;
  RINOK(archive_->GetProperty(index, kpidMTime, &time))
  if (time.vt == VT_FILETIME) {
    modificationTime_ = time.filetime;
  } else if (time.vt == VT_EMPTY) {
    modificationTime_ = defaultModificationTime_;
  } else {
    return E_FAIL;
  }
  return S_OK;
}

// Makes sure that `relative` (below the target folder) is a real folder:
// every element of it that exists must be a folder and no link (a junction
// or symbolic link there would lead the item's writes, deletions and
// attribute changes outside the target folder); missing ones are created
// when `create` is set. S_FALSE when an element is missing and `create` is
// not set. A folder that its creation made is new and empty, so it is not
// looked at again; only one that already stood there is.
HRESULT CExtractCallbackSfxImp::PrepareFolder(const std::wstring& relative, bool create) {
  if (relative.empty() || folders_.contains(relative)) return S_OK;
  // The ends of the prefixes not yet known, deepest first, up to the first
  // known one or the target folder.
  std::vector<std::size_t> unknown{relative.size()};
  for (std::size_t end = relative.size();;) {
    end = relative.rfind(L'\\', end - 1);
    if (end == std::wstring::npos || end == 0 || folders_.contains(relative.substr(0, end))) break;
    unknown.push_back(end);
  }
  for (auto end = unknown.rbegin(); end != unknown.rend(); ++end) {
    std::wstring prefix = relative.substr(0, *end);
    const std::wstring disk = directoryPath_ + prefix;
    if (create && CreateDirectoryW(disk.c_str(), nullptr)) {
      if (record_) record_->AddFolder(disk);
      madeFolders_.insert(prefix);
      folders_.insert(std::move(prefix));
      continue;
    }
    const DWORD attributes = GetFileAttributesW(disk.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return create ? Fail(L"Can not create folder") : S_FALSE;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return Fail(L"Link in the item's path");
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return Fail(L"Can not create folder");
    folders_.insert(std::move(prefix));
  }
  return S_OK;
}

// The attributes of what stands at the item's own place, or
// INVALID_FILE_ATTRIBUTES for nothing. A link there is refused: replacing,
// deleting or changing it would reach what it points to. Some systems show
// file links with no reparse attribute at all, so the entry must also lead
// to itself: to its folder's real path followed by its own name.
HRESULT CExtractCallbackSfxImp::CheckEntry(const std::wstring& relative, DWORD& attributes) {
  attributes = GetFileAttributesW(diskFilePath_.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return S_OK;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return Fail(L"The item's place is a link");
  // The folder is the target (which the user may give as a link) or one
  // found to be no link.
  const std::size_t separator = relative.rfind(L'\\');
  const std::wstring parent = directoryPath_ + (separator == std::wstring::npos ? L"" : relative.substr(0, separator));
  const std::wstring name = relative.substr(separator == std::wstring::npos ? 0 : separator + 1);
  if (!velmora::VMWinIsOwnEntry(parent, name, diskFilePath_)) return Fail(L"The item's place is a link");
  return S_OK;
}

// Removes the file at the item's place. A file with more than one name
// (hard links) shares its data and attributes with the other names, which
// may lie outside the target folder: only this name is removed, and a
// read-only one fails the item, since clearing its read-only bit would clear
// it for every name.
HRESULT CExtractCallbackSfxImp::RemoveExistingFile(DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Fail(L"Can not delete output file");
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    velmora::VMUniqueFile existing(CreateFileW(diskFilePath_.c_str(), FILE_READ_ATTRIBUTES,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!existing || !GetFileInformationByHandle(existing.get(), &information) ||
        information.nNumberOfLinks != 1) {
      return Fail(L"Can not delete output file");
    }
    existing.reset();
    SetFileAttributesW(diskFilePath_.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  if (!DeleteFileW(diskFilePath_.c_str())) return Fail(L"Can not delete output file");
  return S_OK;
}

Z7_COM7F_IMF(CExtractCallbackSfxImp::GetStream(UInt32 index, ISequentialOutStream** outStream,
                                               Int32 askExtractMode)) {
  *outStream = nullptr;
  DiscardUnfinishedFile();

  RINOK(ReadItemPath(*archive_, index, filePath_))
  if (filePath_.empty()) filePath_ = itemDefaultName_;
  if (askExtractMode != kExtract) return S_OK;

  // Item paths are joined to the target folder as stored: one that could
  // name a place outside it, or a device such as NUL or COM1, ends the
  // extraction before anything is written for it.
  if (!IsSafeItemPath(filePath_)) return Fail(L"Unsafe item path");

  RINOK(ReadProperties(index))

  ItemDiskPath(filePath_, relative_);
  const std::wstring& relative = relative_;
  diskFilePath_.assign(directoryPath_).append(relative);

  // The folders above the item; for an anti-item nothing is created, and
  // nothing is there to delete when they are missing.
  const HRESULT folders = PrepareFolder(ParentOf(relative), !isAnti_);
  if (folders != S_OK) return folders == S_FALSE ? S_OK : folders;

  if (isDirectory_ && !isAnti_) {
    // A folder made here had nothing in its place; one that was there
    // already must be the target's own entry.
    RINOK(PrepareFolder(relative, true))
    DWORD existing = INVALID_FILE_ATTRIBUTES;
    if (!madeFolders_.contains(relative)) RINOK(CheckEntry(relative, existing))
    directories_.push_back({diskFilePath_, modificationTime_, WindowsAttributes(attributes_)});
    return S_OK;
  }

  // A new file is created only where nothing stands: when that works, there
  // was nothing to look at.
  if (isAnti_ || !OpenOutputFile()) {
    DWORD existing = INVALID_FILE_ATTRIBUTES;
    RINOK(CheckEntry(relative, existing))
    if (isDirectory_) {
      RemoveDirectoryW(diskFilePath_.c_str());
      folders_.erase(relative);
      madeFolders_.erase(relative);
      return S_OK;
    }
    if (existing != INVALID_FILE_ATTRIBUTES) RINOK(RemoveExistingFile(existing))
    if (isAnti_) return S_OK;
    if (!OpenOutputFile()) return Fail(L"Can not open output file");
  }
  if (record_) record_->AddFile(diskFilePath_, outFile_->Handle());
  *outStream = outFileStream_;
  (*outStream)->AddRef();
  return S_OK;
}

bool CExtractCallbackSfxImp::OpenOutputFile() {
  outFile_ = new OutputFile;
  outFileStream_ = outFile_;
  if (outFile_->Create(diskFilePath_)) return true;
  outFileStream_.Release();
  outFile_ = nullptr;
  return false;
}

void CExtractCallbackSfxImp::DiscardUnfinishedFile() {
  if (outFile_) outFile_->Discard();
  outFileStream_.Release();
  outFile_ = nullptr;
}

Z7_COM7F_IMF(CExtractCallbackSfxImp::SetOperationResult(Int32 operationResult)) {
  if (operationResult != op::kOK) {
    // A file whose data did not decode or check out is removed rather than
    // left behind, truncated or wrong, under its real name.
    DiscardUnfinishedFile();
    if (operationResult == op::kUnsupportedMethod) {
      message_ = L"Unsupported Method";
    } else {
      corrupt_ = true;
    }
    return E_FAIL;
  }
  if (outFile_) {
    const HRESULT closed =
        outFile_->Finish(modificationTime_, WindowsAttributes(attributes_) & ~FILE_ATTRIBUTE_DIRECTORY);
    outFileStream_.Release();
    outFile_ = nullptr;
    RINOK(closed)
    // At once after the writing handle is closed: in an elevated run's own
    // folder nobody else can write in between.
    if (record_ && record_->KeepFilesLocked) {
      const velmora::VMStatus locked = record_->Lock(diskFilePath_);
      if (locked != velmora::status::Ok) return Fail(L"Can not lock output file");
    }
  }
  return S_OK;
}

void CExtractCallbackSfxImp::FinishDirectories() {
  for (const Directory& directory : directories_) {
    FinishFolder(directory.Path, directory.ModificationTime, directory.Attributes);
  }
}
