#include "tasks/archive_item_path.h"

#include <cstring>

#include "Common/MyCom.h"
#include "Windows/PropVariant.h"
#include "tasks/item_path.h"

HRESULT ReadItemPath(IInArchive& archive, UInt32 index, std::wstring& path) {
  path.clear();
  NWindows::NCOM::CPropVariant reported;
  RINOK(archive.GetProperty(index, kpidPath, &reported))
  if (reported.vt == VT_BSTR) {
    if (reported.bstrVal) {
      path.assign(reported.bstrVal);
      RestoreStoredBackslashes(path);
    }
    return S_OK;
  }
  if (reported.vt != VT_EMPTY) return E_FAIL;

  CMyComPtr<IArchiveGetRawProps> raw;
  if (archive.QueryInterface(IID_IArchiveGetRawProps, reinterpret_cast<void**>(&raw)) != S_OK || !raw) return S_OK;
  const void* data = nullptr;
  UInt32 size = 0;
  UInt32 type = 0;
  if (raw->GetRawProp(index, kpidPath, &data, &size, &type) != S_OK || !data ||
      type != NPropDataType::kUtf16z || size < sizeof(wchar_t)) {
    return S_OK;
  }
  // The raw name is UTF-16 with its terminator, not necessarily aligned.
  path.resize(size / sizeof(wchar_t) - 1);
  std::memcpy(path.data(), data, path.size() * sizeof(wchar_t));
  return S_OK;
}
