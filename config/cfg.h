// The process-wide configuration: the caption of every window and which of
// the two kinds of stub this is. Filled once on the user-interface thread
// before the worker starts; only read afterwards.
#pragma once

#include <memory>
#include <string>

#include "support/vm_status.h"

class CfgExtract {
 public:
  std::wstring TargetPath;
  bool FolderSelectionDialogEnabled = true;
  bool ProgressDialogEnabled = true;
};

class CfgLaunch {
 public:
  std::wstring TargetPath;
  bool LanguageSelectionDialogEnabled = true;
  bool ProgressDialogEnabled = true;
};

class Cfg {
 public:
  // The caption until a document says otherwise (note the leading blank).
  std::wstring Title = L" Self Extractor";
  std::shared_ptr<CfgExtract> Extract;
  std::shared_ptr<CfgLaunch> Launch;
};

// The one configuration of this process.
[[nodiscard]] Cfg& TheCfg();

// Reads the configuration document from the stub's own resources (RT_RCDATA
// 222, language 1033). ConfigurationMissing when the image carries none.
[[nodiscard]] velmora::VMStatus LoadConfigurationResource();

// Validates a NUL-terminated UTF-8 document into TheCfg().
[[nodiscard]] velmora::VMStatus ParseConfiguration(const char* text);

// The configuration of a stub without a document: extract into the current
// working directory, with the folder and progress dialogs.
[[nodiscard]] velmora::VMStatus InstallDefaultConfiguration(const std::wstring& titleText);
