// SPDX-License-Identifier: Apache-2.0
// One run of the packer: checks every input the way the stub will read it,
// then writes the installer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "packer/pack_options.h"
#include "support/vm_status.h"

struct PackReport {
  std::uint64_t StubSize = 0;
  std::uint64_t PayloadSize = 0;
  std::uint64_t ItemCount = 0;
  // Things worth knowing that are no failure (machines without an Option).
  std::vector<std::wstring> Notes;
};

class ProgressLine;

// `options` as ParsePackOptions left them (not --help). A failure is
// described in one line in `error`; no output file is left behind then.
// Compressing a folder reports to `progress` when given.
[[nodiscard]] velmora::VMStatus Pack(const PackOptions& options, PackReport& report, std::wstring& error,
                                     ProgressLine* progress = nullptr);

// The stub packed when --stub is not given: vm-sfxstub.exe beside the packer
// (a build tree, the release archive), else in lib/vm-sfxstub/ beside the
// packer's bin/ folder, where the package puts it, so that a package
// unpacked anywhere works. A failure is described in one line in `error`.
[[nodiscard]] velmora::VMStatus FindDefaultStub(std::wstring& stub, std::wstring& error);

// The configuration document at `path`, refused when it is not one the stub
// reads whole (too large, a NUL byte).
[[nodiscard]] velmora::VMStatus ReadConfigurationDocument(const std::wstring& path, std::string& text,
                                                          std::wstring& error);

// "setup.exe: stub 180736 bytes, payload 1234 bytes, 3 items."
[[nodiscard]] std::wstring SummaryLine(const std::wstring& output, const PackReport& report);
