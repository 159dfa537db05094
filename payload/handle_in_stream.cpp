// SPDX-License-Identifier: Apache-2.0
#include "payload/handle_in_stream.h"

namespace {

HRESULT LastErrorResult() {
  const DWORD error = GetLastError();
  return error == 0 ? E_FAIL : HRESULT_FROM_WIN32(error);
}

}  // namespace

bool ReadFileAt(HANDLE file, UInt64 offset, void* data, DWORD size, DWORD& read) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  read = 0;
  if (ReadFile(file, data, size, &read, &at)) return true;
  // At or behind the end a positional read fails where a plain one reads
  // nothing.
  return GetLastError() == ERROR_HANDLE_EOF;
}

Z7_COM7F_IMF(HandleInStream::Read(void* data, UInt32 size, UInt32* processedSize)) {
  DWORD read = 0;
  const bool done = ReadFileAt(file_, position_, data, size, read);
  position_ += read;
  if (processedSize) *processedSize = read;
  return done ? S_OK : LastErrorResult();
}

Z7_COM7F_IMF(HandleInStream::Seek(Int64 offset, UInt32 seekOrigin, UInt64* newPosition)) {
  Int64 base = 0;
  if (seekOrigin == STREAM_SEEK_CUR) {
    base = static_cast<Int64>(position_);
  } else if (seekOrigin == STREAM_SEEK_END) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file_, &size)) return LastErrorResult();
    base = size.QuadPart;
  } else if (seekOrigin != STREAM_SEEK_SET) {
    return STG_E_INVALIDFUNCTION;
  }
  if (offset < 0 && base + offset < 0) return HRESULT_FROM_WIN32(ERROR_NEGATIVE_SEEK);
  position_ = static_cast<UInt64>(base + offset);
  if (newPosition) *newPosition = position_;
  return S_OK;
}
