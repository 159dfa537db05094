// SPDX-License-Identifier: Apache-2.0
#include "packer/archive/folder_archive.h"

#include <algorithm>
#include <cwchar>
#include <iterator>

#include "7zip/Archive/IArchive.h"
#include "7zip/Common/FileStreams.h"
#include "Common/MyCom.h"
#include "Windows/PropVariant.h"
#include "packer/archive/archive_access.h"
#include "packer/archive/folder_level.h"
#include "packer/archive/folder_scan.h"
#include "packer/input_file.h"
#include "packer/progress.h"
#include "packer/status_text.h"
#include "support/vm_utf_convert.h"

using velmora::VMStatus;
namespace status = velmora::status;

namespace {

// Hands the scanned items to the 7z writer as new items. A file that cannot
// be opened stops the packing: leaving it out would make an installer that
// lacks it without a word.
//
// The writer also asks for the first bytes of every file whose name or
// content may be a program (IArchiveUpdateCallbackFile), so that it picks
// the executable filter from the file's header (x86, ARM64, ...), on Linux
// as on Windows, rather than from the name alone.
Z7_CLASS_IMP_COM_2(CFolderUpdateCallback, IArchiveUpdateCallback, IArchiveUpdateCallbackFile)
  Z7_IFACE_COM7_IMP(IProgress)

 public:
  CFolderUpdateCallback(const std::vector<FolderItem>& items, ProgressLine* progress)
      : Items(items), Progress(progress) {}
  const std::vector<FolderItem>& Items;
  ProgressLine* Progress;
  // Why a file could not be read, as one line.
  std::wstring Unreadable;
};

// A file's stream that also tells its size. The writer hands each file's
// size on to the BCJ2 encoder, which without it falls back to what suits data
// of unknown length: real programs came out 1.2 % larger that way.
Z7_CLASS_IMP_COM_2(CSizedInStream, IInStream, IStreamGetSize)
  Z7_IFACE_COM7_IMP(ISequentialInStream)

 public:
  CSizedInStream(IInStream* stream, UInt64 size) : Stream(stream), Size(size) {}

 private:
  CMyComPtr<IInStream> Stream;
  UInt64 Size;
};

Z7_COM7F_IMF(CSizedInStream::Read(void* data, UInt32 size, UInt32* processedSize)) {
  return Stream->Read(data, size, processedSize);
}

Z7_COM7F_IMF(CSizedInStream::Seek(Int64 offset, UInt32 seekOrigin, UInt64* newPosition)) {
  return Stream->Seek(offset, seekOrigin, newPosition);
}

Z7_COM7F_IMF(CSizedInStream::GetSize(UInt64* size)) {
  *size = Size;
  return S_OK;
}

Z7_COM7F_IMF(CFolderUpdateCallback::SetTotal(UInt64 total)) {
  if (Progress) {
    std::uint64_t files = 0;
    for (const FolderItem& item : Items) files += item.IsDirectory ? 0 : 1;
    Progress->SetTotal(total, files);
  }
  return S_OK;
}

Z7_COM7F_IMF(CFolderUpdateCallback::SetCompleted(const UInt64* done)) {
  if (Progress && done) Progress->SetBytesDone(*done);
  return S_OK;
}

Z7_COM7F_IMF(CFolderUpdateCallback::GetUpdateItemInfo(UInt32, Int32* newData, Int32* newProps,
                                                      UInt32* indexInArchive)) {
  if (newData) *newData = 1;
  if (newProps) *newProps = 1;
  if (indexInArchive) *indexInArchive = static_cast<UInt32>(-1);
  return S_OK;
}

Z7_COM7F_IMF(CFolderUpdateCallback::GetProperty(UInt32 index, PROPID id, PROPVARIANT* value)) {
  if (index >= Items.size()) return E_INVALIDARG;
  const FolderItem& item = Items[index];
  NWindows::NCOM::CPropVariant prop;
  switch (id) {
    case kpidPath:
      prop = item.Path.c_str();
      break;
    case kpidIsDir:
      prop = item.IsDirectory;
      break;
    case kpidSize:
      prop = static_cast<UInt64>(item.Size);
      break;
    case kpidAttrib:
      prop = static_cast<UInt32>(item.Attributes);
      break;
    case kpidMTime:
      prop = item.ModificationTime;
      break;
    case kpidIsAnti:
      prop = false;
      break;
    default:
      break;
  }
  return prop.Detach(value);
}

Z7_COM7F_IMF(CFolderUpdateCallback::GetStream(UInt32 index, ISequentialInStream** inStream)) {
  return GetStream2(index, inStream, NUpdateNotifyOp::kAdd);
}

Z7_COM7F_IMF(CFolderUpdateCallback::GetStream2(UInt32 index, ISequentialInStream** inStream, UInt32 notifyOp)) {
  *inStream = nullptr;
  if (index >= Items.size()) return E_INVALIDARG;
  const FolderItem& item = Items[index];
  if (item.IsDirectory) return S_OK;
  // Only the very file the scan saw, never through a link, never a FIFO or
  // a device: nothing swapped in between the scan and the reading is packed.
  InputFile file;
  if (const VMStatus failed = file.OpenScanned(item.FullPath, item.Device, item.Inode); failed != status::Ok) {
    Unreadable = failed == status::InvalidValue
                     ? item.FullPath + L" was replaced after the folder was read (by a link or another file)."
                     : L"cannot read " + item.FullPath + L": " + DescribeStatus(failed) + L".";
    return failed > 0xFFFF ? E_FAIL : HRESULT_FROM_WIN32(failed);
  }
  CMyComPtr<ISequentialInStream> stream = new CSizedInStream(file.Stream(), file.Size());
  *inStream = stream.Detach();
  // A look at the file's header is not the file's turn yet.
  if (Progress && notifyOp != NUpdateNotifyOp::kAnalyze) Progress->FileStarted();
  return S_OK;
}

Z7_COM7F_IMF(CFolderUpdateCallback::ReportOperation(UInt32, UInt32, UInt32)) { return S_OK; }

Z7_COM7F_IMF(CFolderUpdateCallback::SetOperationResult(Int32)) { return S_OK; }

std::uint64_t TotalSize(const std::vector<FolderItem>& items) {
  std::uint64_t total = 0;
  for (const FolderItem& item : items) total += item.Size;
  return total;
}

}  // namespace

VMStatus DescribeFolderDecoding(const std::wstring& folder, FolderLevel level, std::wstring& line,
                                std::wstring& error) {
  line.clear();
  std::vector<FolderItem> items;
  VM_RETURN_IF_FAILED(ScanFolder(folder, items, error));
  const std::uint64_t total = TotalSize(items);
  line = FolderDecodingLine(ChooseFolderSettings(level, total), total);
  return status::Ok;
}

VMStatus CompressFolder(const std::wstring& folder, FolderLevel level, const std::wstring& archive,
                        std::wstring& error, ProgressLine* progress) {
  std::vector<FolderItem> items;
  VM_RETURN_IF_FAILED(ScanFolder(folder, items, error));

  COutFileStream* outFile = new COutFileStream;
  CMyComPtr<IOutStream> out = outFile;
  // Pack hands in a file it made new under a name nobody could guess.
  if (!outFile->Create_ALWAYS(LibraryPath(archive))) {
    const VMStatus failed = velmora::LastErrorOr();
    error = L"cannot create " + archive + L": " + DescribeStatus(failed) + L".";
    return failed;
  }
  CFolderUpdateCallback* updater = new CFolderUpdateCallback(items, progress);
  CMyComPtr<IArchiveUpdateCallback> callback = updater;
  CMyComPtr<IOutArchive> writer = NewSevenZipWriter();
  CMyComPtr<ISetProperties> settings;
  writer.QueryInterface(IID_ISetProperties, &settings);
  const auto properties = WriterProperties(ChooseFolderSettings(level, TotalSize(items)));
  std::vector<const wchar_t*> names;
  std::vector<NWindows::NCOM::CPropVariant> values(properties.size());
  for (std::size_t i = 0; i < properties.size(); ++i) {
    names.push_back(properties[i].first.c_str());
    // The writer takes a number (the level) only as a number, as 7-Zip's
    // command line hands it on.
    const std::wstring& value = properties[i].second;
    if (value.find_first_not_of(L"0123456789") == std::wstring::npos) {
      values[i] = static_cast<UInt32>(std::stoul(value));
    } else {
      values[i] = value.c_str();
    }
  }
  if (!settings || settings->SetProperties(names.data(), values.data(), static_cast<UInt32>(names.size())) != S_OK) {
    error = L"cannot set the compression settings of --level " + std::wstring(FolderLevelName(level)) + L".";
    return status::Failed;
  }
  const HRESULT written = writer->UpdateItems(out, static_cast<UInt32>(items.size()), callback);
  const bool closed = outFile->Close() == S_OK;
  if (progress) progress->Finish();
  if (!updater->Unreadable.empty()) {
    error = updater->Unreadable;
    return status::FileOpenFailed;
  }
  if (written != S_OK || !closed) {
    wchar_t code[16] = {};
    std::swprintf(code, std::size(code), L"0x%08X", static_cast<unsigned>(written));
    error = L"cannot compress the folder " + folder + L" (archive library result " + code + L").";
    return status::Failed;
  }
  return status::Ok;
}
