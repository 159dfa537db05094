#include "config/cfg.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "app/stub_status.h"
#include "config/target_path.h"
#include "support/vm_win_module_file_name.h"

using velmora::VMStatus;
namespace status = velmora::status;

namespace {

constexpr WORD kConfigurationId = 222;
constexpr WORD kConfigurationLanguage = 1033;

// The file name of the running executable without folder and extension.
std::wstring ExecutableBaseName() {
  velmora::VMWinModuleFileName self;
  return self.InitWithModuleHandle() == status::Ok ? self.FileName : std::wstring();
}

}  // namespace

Cfg& TheCfg() {
  static Cfg cfg;
  return cfg;
}

VMStatus LoadConfigurationResource() {
  const HRSRC resource = FindResourceExW(nullptr, RT_RCDATA,
                                         MAKEINTRESOURCEW(kConfigurationId), kConfigurationLanguage);
  if (resource == nullptr) {
    const DWORD error = GetLastError();
    return error == ERROR_RESOURCE_TYPE_NOT_FOUND ? stub_status::ConfigurationMissing
                                                  : velmora::LastErrorOr();
  }
  const HGLOBAL loaded = LoadResource(nullptr, resource);
  VM_RETURN_LAST_ERROR_IF(loaded == nullptr);
  const DWORD size = SizeofResource(nullptr, resource);
  if (size == 0) return velmora::LastErrorOr(stub_status::ConfigurationMissing);
  const void* bytes = LockResource(loaded);
  VM_RETURN_LAST_ERROR_IF(bytes == nullptr);

  // The parser wants a terminated text; the resource carries none.
  std::vector<char> text;
  try {
    text.resize(std::size_t{size} + 1);
  } catch (const std::bad_alloc&) {
    return status::OutOfMemory;
  }
  std::memcpy(text.data(), bytes, size);
  return ParseConfiguration(text.data());
}

VMStatus ParseConfiguration(const char* /*text*/) {
  // Documents are not read yet: a stub that carries one fails clearly instead
  // of running with settings it did not honour.
  return ERROR_CALL_NOT_IMPLEMENTED;
}

VMStatus InstallDefaultConfiguration(const std::wstring& titleText) {
  Cfg& cfg = TheCfg();
  cfg.Extract.reset();
  cfg.Launch.reset();
  auto extract = std::make_shared<CfgExtract>();
  VM_RETURN_IF_FAILED(GetExtractDefaultTargetPath(extract->TargetPath));
  cfg.Extract = std::move(extract);
  if (titleText.empty()) cfg.Title = ExecutableBaseName() + L" Self Extractor";
  return status::Ok;
}
