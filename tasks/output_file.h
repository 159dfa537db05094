// SPDX-License-Identifier: Apache-2.0
// The file one archive item is written to.
#pragma once

// The archive library's interfaces need the OLE declarations that the lean
// Windows headers leave out.
#include <windows.h>
#include <ole2.h>

#include <string>

#include "7zip/IStream.h"
#include "Common/MyCom.h"
#include "support/vm_handle.h"

// An item's data goes straight into a file that this object has created
// new, and that file is finished or removed through the same handle: whatever
// takes its name in the meantime, nothing else is ever written, given times
// or attributes, or deleted.
// Gives the open file or folder `handle` the stored last-write time and
// attributes (without the directory bit, which is not set this way) in one
// call; zero attributes become FILE_ATTRIBUTE_NORMAL. The other times stay.
bool SetStoredTimeAndAttributes(HANDLE handle, const FILETIME& modificationTime, DWORD attributes);

class OutputFile final : public ISequentialOutStream {
 public:
  // Creates `path`; fails when anything already stands there, so a file or
  // link planted at the name is never written through.
  [[nodiscard]] bool Create(const std::wstring& path);

  // Gives the file its time and attributes and closes it.
  [[nodiscard]] HRESULT Finish(const FILETIME& modificationTime, DWORD attributes);

  // Removes the file (its data is incomplete or wrong) and closes it.
  void Discard();

  [[nodiscard]] bool IsOpen() const { return static_cast<bool>(file_); }
  [[nodiscard]] HANDLE Handle() const { return file_.get(); }

  STDMETHODIMP QueryInterface(REFIID iid, void** object) noexcept override;
  STDMETHODIMP_(ULONG) AddRef() noexcept override;
  STDMETHODIMP_(ULONG) Release() noexcept override;
  Z7_COM7F_IMF(Write(const void* data, UInt32 size, UInt32* processedSize)) override;

 private:
  // One thread at a time: the library hands a folder's data over on one of its
  // decoding threads or the worker, never on two at once.
  ULONG references_ = 0;
  velmora::VMUniqueFile file_;
};
