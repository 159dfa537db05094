// Identifiers of the stub's resources and dialog controls. Shared by the
// resource script and the code.
#pragma once

#define IDI_STUB 1
#define IDD_LANGUAGE 223
#define IDD_PROGRESS 224
#define IDD_EXTRACT_TO 226
#define IDC_PROGRESS_BAR 1043
