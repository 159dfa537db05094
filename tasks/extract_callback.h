// SPDX-License-Identifier: Apache-2.0
// The extraction callback: decides where every archive item goes on disk and
// which time and attributes it gets.
#pragma once

// The archive library's interfaces need the OLE declarations that the lean
// Windows headers leave out.
#include <windows.h>
#include <ole2.h>

#include <string>
#include <unordered_set>
#include <vector>

#include "7zip/Archive/IArchive.h"
#include "Common/MyCom.h"
#include "tasks/extraction_record.h"
#include "tasks/output_file.h"

class CExtractCallbackSfxImp final : public IArchiveExtractCallback {
 public:
  // `directoryPath` is the target folder in its long form (every path of an
  // item is built on it, so all calls see the same place however long the
  // path); a missing separator at its end is added. Items without a path are written as `itemDefaultName`; items
  // without a time or attributes get the defaults. Every folder created and
  // every file written is noted in `record` when one is given.
  void Init(IInArchive* archive, std::wstring directoryPath, std::wstring itemDefaultName,
            FILETIME defaultModificationTime, UINT32 defaultAttributes, ExtractionRecord* record = nullptr);

  // Gives the folders of the directory items their stored times and
  // attributes. Called once after the extraction: a folder's time would
  // otherwise change again as its contents are written.
  void FinishDirectories();

  // Removes the file of an item whose data never arrived in full (the
  // extraction ended inside it, for instance on a full disk), so that no
  // truncated file stays behind under the item's name.
  void DiscardUnfinishedFile();

  [[nodiscard]] bool IsCorrupt() const { return corrupt_; }
  // The reason of the last failure, or empty.
  [[nodiscard]] const std::wstring& Message() const { return message_; }

  // Only the identity interface is answered: the library cannot ask for a
  // password or for progress extensions.
  STDMETHODIMP QueryInterface(REFIID iid, void** object) noexcept override;
  STDMETHODIMP_(ULONG) AddRef() noexcept override;
  STDMETHODIMP_(ULONG) Release() noexcept override;

  Z7_COM7F_IMF(SetTotal(UInt64 total)) override;
  Z7_COM7F_IMF(SetCompleted(const UInt64* completed)) override;
  Z7_COM7F_IMF(GetStream(UInt32 index, ISequentialOutStream** outStream, Int32 askExtractMode)) override;
  Z7_COM7F_IMF(PrepareOperation(Int32 askExtractMode)) override;
  Z7_COM7F_IMF(SetOperationResult(Int32 operationResult)) override;

 private:
  struct Directory {
    std::wstring Path;
    FILETIME ModificationTime;
    UINT32 Attributes;
  };

  HRESULT ReadProperties(UInt32 index);
  HRESULT PrepareFolder(const std::wstring& relative, bool create);
  HRESULT CheckEntry(const std::wstring& relative, DWORD& attributes);
  HRESULT RemoveExistingFile(DWORD attributes);
  bool OpenOutputFile();
  HRESULT Fail(const wchar_t* message);

  // One thread at a time: the library hands a folder's data over on one of its
  // decoding threads or the worker, never on two at once. Its progress calls,
  // which may come from another thread meanwhile, change nothing here.
  ULONG references_ = 0;
  CMyComPtr<IInArchive> archive_;
  std::wstring directoryPath_;
  std::wstring filePath_;
  std::wstring diskFilePath_;
  std::wstring relative_;  // the disk path below the directory path
  bool extractMode_ = false;
  FILETIME modificationTime_ = {};
  bool isDirectory_ = false;
  bool isAnti_ = false;
  UINT32 attributes_ = 0;
  // The same output file, typed to finish or discard it, and as the stream
  // handed to the library.
  OutputFile* outFile_ = nullptr;
  CMyComPtr<ISequentialOutStream> outFileStream_;
  std::wstring itemDefaultName_;
  FILETIME defaultModificationTime_ = {};
  UINT32 defaultAttributes_ = 0;
  bool corrupt_ = false;
  std::wstring message_;
  std::vector<Directory> directories_;
  // Folders below the target (relative, `\` separators) that this run has
  // made or found to be real folders, so each is looked at once however
  // many items lie below it; and of those the ones it made.
  std::unordered_set<std::wstring> folders_;
  std::unordered_set<std::wstring> madeFolders_;
  ExtractionRecord* record_ = nullptr;
};
