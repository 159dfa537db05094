// SPDX-License-Identifier: Apache-2.0
// The "Extract to" dialog: the user confirms or changes the folder that the
// payload is unpacked into, by typing or with the shell's folder browser.
//
// The caller sets Path, runs the dialog modally and reads Path back when the
// result is IDOK. The dialog does not judge the path: empty, relative or not
// yet existing, whatever the edit box holds is handed back.
#pragma once

#include <windows.h>

#include <string>

#include "ui/dialog.h"

class ExtractToDlg final : public Dialog {
 public:
  ExtractToDlg();

  std::wstring Path;

 private:
  bool OnInitDialog() override;
  bool OnCommand(WORD id, WORD notification) override;
  void Browse();
  static int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM lParam, LPARAM data);

  HWND edit_ = nullptr;
};
