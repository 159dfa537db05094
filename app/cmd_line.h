// SPDX-License-Identifier: Apache-2.0
// The stub's command-line values, read once at start-up.
//
//   --gui on|off          force every dialog on, or show none (and no message box)
//   --command ID          the command of the chosen option instead of its default
//   --internal 1          the elevated second instance: unpacks into a protected
//                         folder of its own and runs the command there
//   --target FOLDER       the target folder instead of the configured one;
//                         ignored by the elevated instance
//   --language TAG        the language instead of the user's or the dialog's
//   --passthrough REST    REST is appended to the launched command's arguments
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/vm_status.h"
#include "support/vm_std_path.h"

namespace CmdLine {

enum class SFXGuiMode : std::uint32_t {
  NotGiven = 0,  // the configuration decides each dialog
  On = 1,
  Off = 2,  // no dialog and no error message box
};

enum class SFXInternalMode : std::uint32_t {
  NotGiven = 0,
  Internal = 1,  // the elevated second instance
};

struct Values {
  SFXGuiMode GuiMode = SFXGuiMode::NotGiven;
  std::wstring CommandId;
  SFXInternalMode InternalMode = SFXInternalMode::NotGiven;
  velmora::VMStdPath TargetPath;
  std::wstring LanguageTag;
  // Everything behind the passthrough marker, trimmed.
  std::wstring PassthroughText;
  // The raw command line without the program name, trimmed. The elevated
  // relaunch does not forward it: it is composed from the settled values.
  std::wstring ArgumentTail;
  // Plain words: accepted and ignored.
  std::vector<std::wstring> SurplusArguments;
};

// The values of this process.
[[nodiscard]] Values& Current();

// Receives one diagnostic line about the command line.
using DiagnosticFn = void (*)(const char* text);

}  // namespace CmdLine

// Reads GetCommandLineW() into CmdLine::Current(); diagnostics go to the
// standard error stream.
[[nodiscard]] velmora::VMStatus ParseStubCommandLine();

// The same for `rawLine` as GetCommandLineW() would return it. Options parsed
// before a failing one keep their values.
[[nodiscard]] velmora::VMStatus ParseStubCommandLine(const wchar_t* rawLine, CmdLine::Values& values,
                                                     CmdLine::DiagnosticFn output);
