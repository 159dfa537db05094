// SPDX-License-Identifier: Apache-2.0
// Writes one installer: the stub with the configuration document, the icon
// and the version texts as its resources, the payload behind the image.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "packer/pe/pe_resources.h"
#include "packer/pe/version_resource.h"
#include "support/vm_status.h"

class InputFile;

struct InstallerParts {
  std::wstring Stub;
  // No value: the installer carries no configuration resource.
  std::optional<std::string> Document;
  std::wstring Payload;
  // The payload already open (and checked through that open file); without
  // it the writer opens `Payload` itself.
  InputFile* PayloadFile = nullptr;
  std::wstring Output;
  // An icon file that passed CheckIconFile; empty: the stub's icon stays.
  pe_resources::Bytes Icon = {};
  // Where the icon came from, for messages.
  std::wstring IconPath = {};
  // Empty: the stub's version resource stays as it is.
  std::vector<VersionSetting> VersionInfo = {};
};

struct InstallerLayout {
  // The stub image with its resources: where the payload begins.
  std::uint64_t StubSize = 0;
  std::uint64_t PayloadSize = 0;
};

// The 7z format is searched for within this many bytes from the start of
// the installer; a payload that begins later is never found.
inline constexpr std::uint64_t kPayloadSearchLimit = pe_resources::kImageLimit;

// Builds the installer in a temporary file beside `Output` and renames it
// into place only when it is complete; on failure nothing is left behind.
// `verify`, when given, checks the finished temporary file, whose image ends
// at `imageEnd`, before the rename. A failure is described in one line in
// `error`.
using InstallerCheck =
    std::function<velmora::VMStatus(const std::wstring& installer, std::uint64_t imageEnd, std::wstring& error)>;
[[nodiscard]] velmora::VMStatus WriteInstaller(const InstallerParts& parts, InstallerLayout& layout,
                                              std::wstring& error, const InstallerCheck& verify = {});
