// SPDX-License-Identifier: Apache-2.0
#include "tasks/output_file.h"

namespace {

HRESULT LastErrorResult() {
  const DWORD error = GetLastError();
  return error == 0 ? E_FAIL : HRESULT_FROM_WIN32(error);
}

}  // namespace

bool SetStoredTimeAndAttributes(HANDLE handle, const FILETIME& modificationTime, DWORD attributes) {
  // Zero times are left as they are.
  FILE_BASIC_INFO basic{};
  basic.LastWriteTime.LowPart = modificationTime.dwLowDateTime;
  basic.LastWriteTime.HighPart = static_cast<LONG>(modificationTime.dwHighDateTime);
  attributes &= ~FILE_ATTRIBUTE_DIRECTORY;
  basic.FileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
  return SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof(basic)) != FALSE;
}

bool OutputFile::Create(const std::wstring& path) {
  file_.reset(CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  return static_cast<bool>(file_);
}

HRESULT OutputFile::Finish(const FILETIME& modificationTime, DWORD attributes) {
  if (!file_) return S_OK;
  // Failures to set the time or the attributes keep the data: the file is
  // there and complete.
  (void)SetStoredTimeAndAttributes(file_.get(), modificationTime, attributes);
  const HANDLE handle = file_.release();
  return CloseHandle(handle) ? S_OK : LastErrorResult();
}

void OutputFile::Discard() {
  if (!file_) return;
  FILE_DISPOSITION_INFO disposition{TRUE};
  SetFileInformationByHandle(file_.get(), FileDispositionInfo, &disposition, sizeof(disposition));
  file_.reset();
}

STDMETHODIMP OutputFile::QueryInterface(REFIID iid, void** object) noexcept {
  if (!object) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_ISequentialOutStream) {
    *object = static_cast<ISequentialOutStream*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) OutputFile::AddRef() noexcept { return ++references_; }

STDMETHODIMP_(ULONG) OutputFile::Release() noexcept {
  if (--references_ != 0) return references_;
  delete this;
  return 0;
}

Z7_COM7F_IMF(OutputFile::Write(const void* data, UInt32 size, UInt32* processedSize)) {
  if (processedSize) *processedSize = 0;
  if (!file_) return E_FAIL;
  DWORD written = 0;
  if (!WriteFile(file_.get(), data, size, &written, nullptr)) return LastErrorResult();
  if (processedSize) *processedSize = written;
  // A short write without an error is a full disk as well.
  return written == size ? S_OK : HRESULT_FROM_WIN32(ERROR_DISK_FULL);
}
