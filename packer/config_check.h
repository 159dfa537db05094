// SPDX-License-Identifier: Apache-2.0
// The configuration document checked with the stub's own loader, for each
// machine an installer may meet.
#pragma once

#include <string>
#include <vector>

#include "support/vm_status.h"
#include "support/vm_win_architecture.h"

// The machines a document is checked for, in the order reports name them.
struct CheckedMachine {
  velmora::ProcessorArchitecture Architecture;
  const wchar_t* Name;
};
inline constexpr CheckedMachine kCheckedMachines[] = {
    {velmora::ProcessorArchitecture::X86, L"x86"},
    {velmora::ProcessorArchitecture::X64, L"x64"},
    {velmora::ProcessorArchitecture::ARM64, L"ARM64"},
};

struct ConfigCheckResult {
  // "x64: no Option fits this machine; the installer exits 0xEE002004 there."
  std::vector<std::wstring> Notes;
  // One line on the first failure: the machine, the status and its name,
  // and the element the loader refused.
  std::wstring Error;
};

// Appends a note for each Executable of `document` written as a bare program
// name (no folder, no variable) that names no item of the payload's top
// folder, `itemPaths`, letter case aside: the stub then looks for it
// elsewhere, which is rarely what the author meant (a misspelt setup.cmd).
void NoteProgramsOutsidePayload(const std::string& document, const std::vector<std::wstring>& itemPaths,
                                std::vector<std::wstring>& notes);

// Loads the NUL-free UTF-8 `document` as the stub would on an x86, an x64
// and an ARM64 machine. A machine without a matching Option is no failure:
// a launch installer may be made for some machines only.
[[nodiscard]] velmora::VMStatus CheckConfiguration(const std::string& document, ConfigCheckResult& result);
