// SPDX-License-Identifier: Apache-2.0
// Identifiers of the stub's resources and dialog controls. Shared by the
// resource script and the code.
#pragma once

#define IDI_STUB 1
#define IDD_LANGUAGE 223
#define IDD_PROGRESS 224
#define IDD_EXTRACT_TO 226

#define IDC_LANGUAGE_LIST 1041
#define IDC_LANGUAGE_PROMPT 1042
#define IDC_PROGRESS_BAR 1043
#define IDC_BROWSE 1045
#define IDC_TARGET_PATH 1046

// The size grip that every resizable dialog adds in its bottom-right corner.
#define IDC_SIZE_GRIP 0xE801
// The application-exit command; a dialog that receives it closes as if
// cancelled.
#define IDM_APP_EXIT 0xE141
