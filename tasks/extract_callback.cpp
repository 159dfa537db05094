#include "tasks/extract_callback.h"

#include <utility>

#include "Windows/PropVariant.h"
#include "support/vm_handle.h"
#include "tasks/item_path.h"

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

void SetFolderTime(const std::wstring& path, const FILETIME& time) {
  velmora::VMUniqueFile folder(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (folder) SetFileTime(folder.get(), nullptr, nullptr, &time);
}

}  // namespace

void CExtractCallbackSfxImp::Init(IInArchive* archive, std::wstring directoryPath, std::wstring itemDefaultName,
                                  FILETIME defaultModificationTime, UINT32 defaultAttributes) {
  archive_ = archive;
  directoryPath_ = std::move(directoryPath);
  if (!directoryPath_.empty() && !IsSeparator(directoryPath_.back())) directoryPath_ += L'\\';
  itemDefaultName_ = std::move(itemDefaultName);
  defaultModificationTime_ = defaultModificationTime;
  defaultAttributes_ = defaultAttributes;
  message_.clear();
  corrupt_ = false;
  directories_.clear();
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

Z7_COM7F_IMF(CExtractCallbackSfxImp::GetStream(UInt32 index, ISequentialOutStream** outStream,
                                               Int32 askExtractMode)) {
  *outStream = nullptr;
  outFileStream_.Release();
  outFile_ = nullptr;

  NWindows::NCOM::CPropVariant path;
  RINOK(archive_->GetProperty(index, kpidPath, &path))
  if (path.vt == VT_BSTR && path.bstrVal && path.bstrVal[0] != L'\0') {
    filePath_ = ItemPathAsStored(path.bstrVal);
  } else if (path.vt == VT_EMPTY || path.vt == VT_BSTR) {
    filePath_ = itemDefaultName_;
  } else {
    return E_FAIL;
  }
  if (askExtractMode != kExtract) return S_OK;

  // Item paths are joined to the target folder as stored: one that could
  // name a place outside it, or a device such as NUL or COM1, ends the
  // extraction before anything is written for it.
  if (!IsSafeItemPath(filePath_)) return Fail(L"Unsafe item path");

  RINOK(ReadProperties(index))

  // Create the item's folders, or for a file the folders above it. Failures
  // (mostly: the folder exists) show up when the file is opened.
  std::wstring diskPath = directoryPath_;
  if (!isAnti_) {
    std::size_t start = 0;
    const std::size_t end = isDirectory_ ? filePath_.size() : filePath_.find_last_of(L"\\/");
    while (end != std::wstring::npos && start < end) {
      std::size_t next = start;
      while (next < end && !IsSeparator(filePath_[next])) ++next;
      diskPath.append(filePath_, start, next - start);
      CreateDirectoryW(diskPath.c_str(), nullptr);
      diskPath += L'\\';
      start = next + 1;
    }
  }

  // Windows takes both separators, but only `\` in the long-path form that
  // very deep items need.
  diskPath = directoryPath_ + filePath_;
  for (wchar_t& c : diskPath) {
    if (c == L'/') c = L'\\';
  }
  diskFilePath_ = diskPath;

  if (isDirectory_) {
    if (isAnti_) {
      RemoveDirectoryW(diskFilePath_.c_str());
      return S_OK;
    }
    // A file standing where the folder belongs stays as it is, and the run
    // fails: the folder's contents could not be written either.
    const DWORD standing = GetFileAttributesW(diskFilePath_.c_str());
    if (standing == INVALID_FILE_ATTRIBUTES || !(standing & FILE_ATTRIBUTE_DIRECTORY)) {
      return Fail(L"Can not create folder");
    }
    directories_.push_back({diskFilePath_, modificationTime_, WindowsAttributes(attributes_)});
    return S_OK;
  }

  const DWORD existing = GetFileAttributesW(diskFilePath_.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES) {
    if ((existing & FILE_ATTRIBUTE_READONLY) && !(existing & FILE_ATTRIBUTE_DIRECTORY)) {
      SetFileAttributesW(diskFilePath_.c_str(), existing & ~FILE_ATTRIBUTE_READONLY);
    }
    if (!DeleteFileW(diskFilePath_.c_str())) return Fail(L"Can not delete output file");
  }
  if (isAnti_) return S_OK;

  outFile_ = new COutFileStream;
  outFileStream_ = outFile_;
  if (!outFile_->Create_ALWAYS(diskFilePath_.c_str())) {
    outFileStream_.Release();
    outFile_ = nullptr;
    return Fail(L"Can not open output file");
  }
  *outStream = outFileStream_;
  (*outStream)->AddRef();
  return S_OK;
}

Z7_COM7F_IMF(CExtractCallbackSfxImp::SetOperationResult(Int32 operationResult)) {
  if (operationResult != op::kOK) {
    // A file whose data did not decode or check out is removed rather than
    // left behind, truncated or wrong, under its real name.
    if (outFile_) {
      outFile_->Close();
      DeleteFileW(diskFilePath_.c_str());
    }
    outFileStream_.Release();
    outFile_ = nullptr;
    if (operationResult == op::kUnsupportedMethod) {
      message_ = L"Unsupported Method";
    } else {
      corrupt_ = true;
    }
    return E_FAIL;
  }
  if (outFile_) {
    outFile_->SetMTime(&modificationTime_);
    const HRESULT closed = outFile_->Close();
    outFileStream_.Release();
    outFile_ = nullptr;
    RINOK(closed)
  }
  if (extractMode_ && !isDirectory_ && !isAnti_) {
    SetFileAttributesW(diskFilePath_.c_str(), WindowsAttributes(attributes_));
  }
  return S_OK;
}

void CExtractCallbackSfxImp::FinishDirectories() {
  for (const Directory& directory : directories_) {
    SetFolderTime(directory.Path, directory.ModificationTime);
    SetFileAttributesW(directory.Path.c_str(), directory.Attributes);
  }
}
