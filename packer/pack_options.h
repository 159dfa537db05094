// SPDX-License-Identifier: Apache-2.0
// The packer's command line:
//
//   vm-sfxpack --output OUT.exe [--config DOC.xml] [--stub STUB.exe]
//              [--icon FILE.ico] [--version-info KEY=VALUE]... [--strict]
//              (--payload ARCHIVE.7z | --folder DIR [--level LEVEL])
//   vm-sfxpack --explain --config DOC.xml [--languages TAG,TAG,...]
//              [--payload ARCHIVE.7z | --folder DIR [--level LEVEL]] [--strict]
//   vm-sfxpack --verify INSTALLER.exe [--require-signature]
//   vm-sfxpack --help
//   vm-sfxpack --version [--stub STUB.exe]
#pragma once

#include <string>
#include <vector>

#include "packer/archive/folder_level.h"
#include "packer/pe/version_resource.h"
#include "support/vm_status.h"

struct PackOptions {
  std::wstring Output = {};
  // Empty: the installer gets no configuration document.
  std::wstring Config = {};
  // Empty: the one FindDefaultStub finds.
  std::wstring Stub = {};
  // Exactly one of the two is given to pack; --explain takes at most one.
  std::wstring Payload = {};
  std::wstring Folder = {};
  // --level: how hard --folder compresses.
  FolderLevel Level = FolderLevel::Normal;
  // Empty: the stub's icon stays.
  std::wstring Icon = {};
  // The --version-info words, checked; empty: the stub's version resource
  // stays as it is.
  std::vector<VersionSetting> VersionInfo = {};
  bool Help = false;
  // --version: the packer's version and commit, and the stub's licences.
  bool Version = false;
  // --explain: what the document does on each machine, nothing written.
  bool Explain = false;
  // Display languages for --explain, comma-separated; empty: a default set.
  std::wstring Languages = {};
  // --verify: the installer to re-check, nothing written.
  std::wstring Verify = {};
  // --strict: a note refuses the installer (exit code 1), for CI.
  bool Strict = false;
  // --require-signature: --verify fails without a certificate table.
  bool RequireSignature = false;
};

// Reads the words behind the program name. A mistake is described in one
// line in `error`.
[[nodiscard]] velmora::VMStatus ParsePackOptions(const std::vector<std::wstring>& words, PackOptions& options,
                                                 std::wstring& error);

// What --help prints.
[[nodiscard]] const wchar_t* PackUsage();
