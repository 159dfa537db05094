// SPDX-License-Identifier: Apache-2.0
#include "payload/installer_file.h"

#include "support/vm_win_final_path.h"
#include "support/vm_win_long_path.h"
#include "support/vm_win_module_file_name.h"

velmora::VMStatus InstallerFile::Open() {
  velmora::VMWinModuleFileName self;
  VM_RETURN_IF_FAILED(self.InitWithModuleHandle());
  path_ = self.FullPath;
  file_.reset(CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  VM_RETURN_LAST_ERROR_IF(!file_);
  return velmora::status::Ok;
}

velmora::VMStatus InstallerFile::FinalPath(std::wstring& path) const {
  VM_RETURN_IF_FAILED(velmora::VMWinFinalPathOfHandle(file_.get(), path));
  path = velmora::VMWinPlainPathWherePossible(path);
  return velmora::status::Ok;
}
