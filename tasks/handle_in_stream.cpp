// SPDX-License-Identifier: Apache-2.0
#include "tasks/handle_in_stream.h"

namespace {

HRESULT LastErrorResult() {
  const DWORD error = GetLastError();
  return error == 0 ? E_FAIL : HRESULT_FROM_WIN32(error);
}

}  // namespace

Z7_COM7F_IMF(HandleInStream::Read(void* data, UInt32 size, UInt32* processedSize)) {
  DWORD read = 0;
  const BOOL done = ReadFile(file_, data, size, &read, nullptr);
  if (processedSize) *processedSize = read;
  return done ? S_OK : LastErrorResult();
}

Z7_COM7F_IMF(HandleInStream::Seek(Int64 offset, UInt32 seekOrigin, UInt64* newPosition)) {
  LARGE_INTEGER distance{};
  distance.QuadPart = offset;
  LARGE_INTEGER position{};
  if (!SetFilePointerEx(file_, distance, &position, seekOrigin)) return LastErrorResult();
  if (newPosition) *newPosition = static_cast<UInt64>(position.QuadPart);
  return S_OK;
}
