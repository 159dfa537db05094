// SPDX-License-Identifier: Apache-2.0
// The stub's entry point.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <memory>
#include <string>

#include "app/app.h"
#include "app/cmd_line.h"
#include "app/error_message.h"
#include "app/process_setup.h"
#include "app/system_imports.h"
#include "config/stub_status.h"
#include "elevation/elevated_process.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int /*show*/) {
  SetUpStubProcess();
  // Nothing outside kernel32.dll and the C runtime is callable before this,
  // and without it there is no window to show a message in.
  if (const velmora::VMStatus status = BindSystemImports(); status != velmora::status::Ok) {
    return static_cast<int>(status);
  }
  if (ParseStubCommandLine() != velmora::status::Ok) {
    ShowErrorMessage(stub_status::InvalidCommandLine);
    return static_cast<int>(stub_status::InvalidCommandLine);
  }
  // The elevated instance takes nothing from the user who started it before
  // it reads its configuration.
  std::wstring elevatedFolder;
  if (CmdLine::Current().InternalMode == CmdLine::SFXInternalMode::Internal) {
    if (const velmora::VMStatus status = PrepareElevatedProcess(elevatedFolder); status != velmora::status::Ok) {
      ShowErrorMessage(status);
      return static_cast<int>(status);
    }
  }

  (void)CoInitialize(nullptr);
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES | ICC_COOL_CLASSES};
  InitCommonControlsEx(&controls);

  auto app = std::make_unique<App>(instance);
  app->UseElevatedFolder(std::move(elevatedFolder));
  std::uint32_t exitCode = 0;
  const velmora::VMStatus runStatus = app->Run(exitCode);
  CoUninitialize();

  ShowErrorMessage(runStatus);
  app.reset();
  return static_cast<int>(RunExitCode(runStatus, exitCode));
}
