#include "packer/payload_check.h"

#include <windows.h>

#include "7zip/Archive/IArchive.h"
#include "7zip/Common/FileStreams.h"
#include "Common/MyCom.h"
#include "Windows/PropVariant.h"
#include "packer/archive_access.h"
#include "packer/status_text.h"
#include "packer/installer_writer.h"
#include "tasks/item_path.h"

using velmora::VMStatus;
namespace status = velmora::status;

namespace {

// Decodes every item without writing anything and keeps the first item whose
// data did not come out intact. Testing goes on after a failure, so the
// library never sees an error of ours.
Z7_CLASS_IMP_COM_1(CPayloadTestCallback, IArchiveExtractCallback)
  Z7_IFACE_COM7_IMP(IProgress)

 public:
  UInt32 CurrentIndex = 0;
  bool Failed = false;
  UInt32 FailedIndex = 0;
  Int32 FailedResult = NArchive::NExtract::NOperationResult::kOK;
};

Z7_COM7F_IMF(CPayloadTestCallback::SetTotal(UInt64)) { return S_OK; }
Z7_COM7F_IMF(CPayloadTestCallback::SetCompleted(const UInt64*)) { return S_OK; }

Z7_COM7F_IMF(CPayloadTestCallback::GetStream(UInt32 index, ISequentialOutStream** outStream, Int32)) {
  *outStream = nullptr;
  CurrentIndex = index;
  return S_OK;
}

Z7_COM7F_IMF(CPayloadTestCallback::PrepareOperation(Int32)) { return S_OK; }

Z7_COM7F_IMF(CPayloadTestCallback::SetOperationResult(Int32 result)) {
  if (result != NArchive::NExtract::NOperationResult::kOK && !Failed) {
    Failed = true;
    FailedIndex = CurrentIndex;
    FailedResult = result;
  }
  return S_OK;
}

std::wstring ItemString(IInArchive* archive, UInt32 index, PROPID id) {
  NWindows::NCOM::CPropVariant value;
  if (archive->GetProperty(index, id, &value) != S_OK || value.vt != VT_BSTR) return {};
  return value.bstrVal;
}

bool ItemFlag(IInArchive* archive, UInt32 index, PROPID id) {
  NWindows::NCOM::CPropVariant value;
  return archive->GetProperty(index, id, &value) == S_OK && value.vt == VT_BOOL && value.boolVal != VARIANT_FALSE;
}

std::wstring ResultText(Int32 result) {
  namespace r = NArchive::NExtract::NOperationResult;
  switch (result) {
    case r::kUnsupportedMethod:
      return L"uses a coding method the stub does not have";
    case r::kCRCError:
      return L"fails its CRC check";
    case r::kDataError:
      return L"has damaged data";
    case r::kWrongPassword:
      return L"is encrypted";
    default:
      return L"cannot be unpacked (result " + std::to_wstring(result) + L")";
  }
}

std::wstring HexResult(HRESULT result) {
  wchar_t text[16] = {};
  wsprintfW(text, L"0x%08X", static_cast<unsigned>(result));
  return text;
}

// Opens `path` with the 7z handler; `searchLimit` null means the archive
// must begin at the first byte.
VMStatus OpenArchive(const std::wstring& path, const UInt64* searchLimit, CMyComPtr<IInArchive>& archive,
                     std::wstring& error) {
  CInFileStream* fileObject = new CInFileStream;
  CMyComPtr<IInStream> file = fileObject;
  if (!fileObject->Open(path.c_str())) {
    const VMStatus failed = velmora::LastErrorOr();
    error = L"cannot open " + path + L": " + DescribeStatus(failed) + L".";
    return failed;
  }
  archive = NewSevenZipReader();
  if (archive->Open(file, searchLimit, nullptr) != S_OK) {
    error = path + L" is not a 7z archive the stub can open (or it is damaged, or its headers are encrypted).";
    return status::Failed;
  }
  return status::Ok;
}

}  // namespace

VMStatus CheckPayload(const std::wstring& path, std::uint64_t& itemCount, std::wstring& error) {
  itemCount = 0;
  CMyComPtr<IInArchive> archive;
  VM_RETURN_IF_FAILED(OpenArchive(path, nullptr, archive, error));

  UInt32 count = 0;
  if (archive->GetNumberOfItems(&count) != S_OK) {
    error = L"cannot read the item list of " + path + L".";
    return status::Failed;
  }
  for (UInt32 i = 0; i < count; ++i) {
    const std::wstring name = ItemString(archive, i, kpidPath);
    // An item without a path is unpacked under a default name: harmless.
    const ItemPathRisk risk = name.empty() ? ItemPathRisk::None : FindItemPathRisk(name);
    if (risk != ItemPathRisk::None) {
      error = L"the payload item \"" + name +
              (risk == ItemPathRisk::NamesDevice ? L"\" names a Windows device such as CON, NUL or COM1"
                                                 : L"\" would be written outside the target folder") +
              L"; the stub refuses it.";
      return status::InvalidValue;
    }
    if (ItemFlag(archive, i, kpidEncrypted)) {
      error = L"the payload item \"" + name + L"\" is encrypted; the stub never supplies a password.";
      return status::InvalidValue;
    }
  }

  CPayloadTestCallback* tester = new CPayloadTestCallback;
  CMyComPtr<IArchiveExtractCallback> test = tester;
  const HRESULT tested = archive->Extract(nullptr, static_cast<UInt32>(-1), 1, test);
  if (tester->Failed) {
    const UInt32 index = tester->FailedIndex;
    std::wstring method = ItemString(archive, index, kpidMethod);
    if (!method.empty()) method = L" (method " + method + L")";
    error = L"the payload item \"" + ItemString(archive, index, kpidPath) + L"\"" + method + L" " +
            ResultText(tester->FailedResult) + L".";
    return status::InvalidValue;
  }
  if (tested != S_OK) {
    error = L"the payload " + path + L" cannot be unpacked (archive library result " + HexResult(tested) + L").";
    return status::InvalidValue;
  }
  itemCount = count;
  return status::Ok;
}

VMStatus CheckInstallerFindsPayload(const std::wstring& installer, std::uint64_t itemCount, std::wstring& error) {
  const UInt64 searchLimit = kPayloadSearchLimit;
  CMyComPtr<IInArchive> archive;
  std::wstring why;
  UInt32 count = 0;
  if (OpenArchive(installer, &searchLimit, archive, why) != status::Ok || archive->GetNumberOfItems(&count) != S_OK ||
      count != itemCount) {
    error = L"the finished installer does not lead the archive library to its payload.";
    return status::Failed;
  }
  return status::Ok;
}
