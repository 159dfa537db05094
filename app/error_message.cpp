// SPDX-License-Identifier: Apache-2.0
#include "app/error_message.h"

#include <windows.h>

#include "app/cmd_line.h"
#include "config/cfg.h"
#include "config/stub_status.h"

namespace status = velmora::status;

const wchar_t* ErrorMessageText(velmora::VMStatus code) {
  switch (code) {
    case status::Ok:
    case status::Cancelled:
    case stub_status::ElevationRefused:
      return L"";
    case stub_status::PlatformNotSupported:
      return L"The current platform is not supported.";
    case ERROR_ACCESS_DENIED:
    case static_cast<velmora::VMStatus>(E_ACCESSDENIED):
      return L"Administrator privileges required.";
    case stub_status::InvalidCommandLine:
      return L"The command line arguments are invalid.";
    case ERROR_DIRECTORY:
      return L"The directory name is invalid.";
    default:
      return L"The execution was aborted due to an error.";
  }
}

void ShowErrorMessage(velmora::VMStatus code) {
  const wchar_t* text = ErrorMessageText(code);
  if (*text != L'\0') ShowError(text);
}

void ShowError(const std::wstring& text) {
  if (CmdLine::Current().GuiMode == CmdLine::SFXGuiMode::Off) return;
  ErrorMessageBox(text, TheCfg().Title);
}

void ErrorMessageBox(const std::wstring& text, const std::wstring& caption) {
  // No owner: by the time this runs every window of the stub is gone.
  MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_ICONERROR | MB_SETFOREGROUND | MB_TOPMOST);
}
