// SPDX-License-Identifier: Apache-2.0
#include "payload/archive_item_path.h"

#include <cstdint>
#include <cstring>

#include "Common/MyCom.h"
#include "Windows/PropVariant.h"
#include "payload/item_path.h"

#ifndef _WIN32
namespace {

// Built for systems where wchar_t holds code points, the library still
// reports a stored name by its UTF-16 units: a surrogate pair becomes the
// one code point it stands for.
void JoinSurrogates(std::wstring& path) {
  std::size_t to = 0;
  for (std::size_t i = 0; i < path.size(); ++i, ++to) {
    auto unit = static_cast<std::uint32_t>(path[i]);
    const auto next = i + 1 < path.size() ? static_cast<std::uint32_t>(path[i + 1]) : 0;
    if (unit >= 0xD800 && unit <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
      unit = 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
      ++i;
    }
    path[to] = static_cast<wchar_t>(unit);
  }
  path.resize(to);
}

}  // namespace
#endif

HRESULT ReadItemPath(IInArchive& archive, UInt32 index, std::wstring& path) {
  path.clear();
  NWindows::NCOM::CPropVariant reported;
  RINOK(archive.GetProperty(index, kpidPath, &reported))
  if (reported.vt == VT_BSTR) {
    if (reported.bstrVal) {
      path.assign(reported.bstrVal);
#ifndef _WIN32
      // Built for other systems the library separates folders with `/`,
      // and reports a stored `\` as it is, not as U+F05C.
      for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
      }
      JoinSurrogates(path);
#endif
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
      type != NPropDataType::kUtf16z || size < 2) {
    return S_OK;
  }
  // The raw name is UTF-16 with its terminator, not necessarily aligned.
#ifdef _WIN32
  path.resize(size / sizeof(wchar_t) - 1);
  std::memcpy(path.data(), data, path.size() * sizeof(wchar_t));
#else
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i + 1 < size / 2; ++i) path.push_back(static_cast<wchar_t>(bytes[2 * i] | bytes[2 * i + 1] << 8));
  JoinSurrogates(path);
#endif
  return S_OK;
}
