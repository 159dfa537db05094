// The stub's command-line values, read once at start-up.
#pragma once

#include <cstdint>
#include <string>

#include "support/vm_status.h"

namespace CmdLine {

enum class SFXGuiMode : std::uint32_t {
  NotGiven = 0,  // the configuration decides each dialog
  On = 1,
  Off = 2,  // no dialog and no error message box
};

enum class SFXInternalMode : std::uint32_t {
  NotGiven = 0,
  Internal = 1,  // the elevated second instance: only runs the command
};

struct Values {
  SFXGuiMode GuiMode = SFXGuiMode::NotGiven;
  SFXInternalMode InternalMode = SFXInternalMode::NotGiven;
  std::wstring CommandId;
  std::wstring TargetPath;
  std::wstring LanguageTag;
  std::wstring PassthroughText;
  std::wstring ArgumentTail;
};

// The values of this process.
[[nodiscard]] Values& Current();

}  // namespace CmdLine

// Reads GetCommandLineW() into CmdLine::Current().
[[nodiscard]] velmora::VMStatus ParseStubCommandLine();
