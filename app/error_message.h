// SPDX-License-Identifier: Apache-2.0
// The one error message box a run may end with.
#pragma once

#include <string>

#include "support/vm_status.h"

// Shows the message that belongs to `status`, if any. Silent for success,
// for Cancel and for a refused elevation.
void ShowErrorMessage(velmora::VMStatus status);

// One error box captioned with the window title, unless `--gui off`.
void ShowError(const std::wstring& text);

void ErrorMessageBox(const std::wstring& text, const std::wstring& caption);

// The text ShowErrorMessage uses for `status`; empty when it stays silent.
[[nodiscard]] const wchar_t* ErrorMessageText(velmora::VMStatus status);
