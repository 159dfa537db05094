// SPDX-License-Identifier: Apache-2.0
// The configuration: the caption of every window and which of the two kinds
// of stub this is, read from the XML document in the stub's resources.
//
// The document, element by element (every name compares exactly):
//
//   SelfExtractor FormatVersionMajor="3" FormatVersionMinor="0|1"
//     Title                         0..1  caption text
//     Extract | Launch              exactly one of them, or neither (= Extract)
//       ProgressDialog/Enabled      0..1  default true
//       TargetPath                  0..1  Extract only; default: working folder
//       FolderSelectionDialog/Enabled     Extract only; default true
//       LanguageSelectionDialog/Enabled   Launch only; default false
//       Options                     exactly 1, Launch only
//         Option Id=".."            1..n, Ids unique without regard to case
//           ProcessorArchitectureSet/ProcessorArchitecture   1..n
//           LanguageTagSet/LanguageTag                       0..1 / 1..n
//           Commands                exactly 1
//             Command Id=".."       1..n
//               CreateProcess | ShellExecute Wait=".." AsAdmin=".."
//                 Executable        exactly 1
//                 Arguments         0..1
//                 WaitForProcessTree  0..1  CreateProcess, or ShellExecute with Wait
//             DefaultCommand        0..1  the Id of one of the Commands
//
// The tree is filled once on the user-interface thread before the worker
// starts and only read afterwards; `Parent` links own nothing.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "support/vm_status.h"
#include "support/vm_win_architecture.h"

namespace tinyxml2 {
class XMLElement;
}

using CfgElement = const tinyxml2::XMLElement*;

// The format versions this stub reads: 3.0 to 3.1. Documents of another
// major version are written for a stub that reads them differently; newer
// minor versions may carry settings this one would silently drop.
inline constexpr std::uint32_t kFormatVersionMajor = 3;
inline constexpr std::uint32_t kFormatVersionMinorLast = 1;

class CfgObject {
 public:
  explicit CfgObject(CfgObject* parent = nullptr, std::wstring id = {}) : Parent(parent), Id(std::move(id)) {}
  virtual ~CfgObject() = default;
  CfgObject(const CfgObject&) = delete;
  CfgObject& operator=(const CfgObject&) = delete;

  CfgObject* Parent;
  // The lower-cased Id of an Option or Command; empty for everything else.
  std::wstring Id;
};

// What the two sections have in common.
class CfgTask : public CfgObject {
 public:
  using CfgObject::CfgObject;
  bool ProgressDialogEnabled = true;
  // The folder the payload is unpacked into.
  std::wstring TargetPath;

 protected:
  [[nodiscard]] velmora::VMStatus LoadProgressDialog(CfgElement element);
};

class CfgExtract : public CfgTask {
 public:
  using CfgTask::CfgTask;
  bool FolderSelectionDialogEnabled = true;
  [[nodiscard]] velmora::VMStatus Load(CfgElement element);
};

class CfgLanguageTagSet : public CfgObject {
 public:
  using CfgObject::CfgObject;
  // Stored as written; ordered and compared by UTF-16 units, so "EN-us" and
  // "en-US" are two tags.
  std::set<std::wstring> Tags;
  [[nodiscard]] velmora::VMStatus Load(CfgElement element);
};

class CfgProcessorArchitectureSet : public CfgObject {
 public:
  using CfgObject::CfgObject;
  std::set<velmora::ProcessorArchitecture> Architectures;
  [[nodiscard]] velmora::VMStatus Load(CfgElement element);
};

class CfgCommand : public CfgObject {
 public:
  using CfgObject::CfgObject;
  bool UseCreateProcess = false;
  // Resolved, but not completed to an absolute path: "msiexec.exe" is
  // searched for when it runs.
  std::wstring Executable;
  std::wstring Arguments;
  bool Wait = false;
  bool AsAdmin = false;
  // Wait until every process the program started has ended as well, not
  // only the program; only where the run waits at all.
  bool WaitForProcessTree = false;
  [[nodiscard]] velmora::VMStatus Load(CfgElement element);
};

class CfgCommands : public CfgObject {
 public:
  using CfgObject::CfgObject;
  std::map<std::wstring, std::shared_ptr<CfgCommand>> CommandsById;
  // A lower-cased Id of CommandsById, or empty.
  std::wstring DefaultCommand;
  [[nodiscard]] velmora::VMStatus Load(CfgElement element);
};

class CfgOption : public CfgObject {
 public:
  using CfgObject::CfgObject;
  // Empty for a language-neutral Option.
  std::shared_ptr<CfgLanguageTagSet> LanguageTagSet;
  std::shared_ptr<CfgProcessorArchitectureSet> ProcessorArchitectureSet;
  std::shared_ptr<CfgCommands> Commands;
  [[nodiscard]] velmora::VMStatus Load(CfgElement element);
};

class CfgOptions : public CfgObject {
 public:
  using CfgObject::CfgObject;
  std::map<std::wstring, std::shared_ptr<CfgOption>> OptionsById;
  // The Options that fit the machine, in document order.
  std::vector<std::wstring> MatchingOptionIds;
  // All tags of the matching Options.
  std::shared_ptr<CfgLanguageTagSet> MatchingLanguageTags;
  bool HasLanguageNeutralOption = false;

  // `native` is the machine the Options are matched against.
  [[nodiscard]] velmora::VMStatus Load(CfgElement element, velmora::ProcessorArchitecture native);
  // The matching Options must leave one choice per language: one single
  // language-neutral Option, or tagged ones whose tags are pairwise distinct.
  [[nodiscard]] velmora::VMStatus CheckMatchingOptions();
};

class CfgLaunch : public CfgTask {
 public:
  using CfgTask::CfgTask;
  bool LanguageSelectionDialogEnabled = false;
  std::shared_ptr<CfgOptions> Options;
  [[nodiscard]] velmora::VMStatus Load(CfgElement element, velmora::ProcessorArchitecture native);
};

class Cfg : public CfgObject {
 public:
  // The caption until a document says otherwise (note the leading blank).
  std::wstring Title = L" Self Extractor";
  std::shared_ptr<CfgExtract> Extract;
  std::shared_ptr<CfgLaunch> Launch;
};

// Whether a loaded configuration has work for the machine it was matched
// against: an extract section always, a launch section only when one of its
// Options fits the machine's processor.
[[nodiscard]] bool HasWorkForThisMachine(const Cfg& cfg);

// The Id attribute of an Option or Command with ASCII letters lowered.
// InvalidConfiguration for white space around it, NotFound when it is
// missing or empty.
[[nodiscard]] velmora::VMStatus ReadId(CfgElement element, std::wstring& id);

// Where a stub carries its document: RT_RCDATA, this name and language.
inline constexpr unsigned short kConfigurationId = 222;
inline constexpr unsigned short kConfigurationLanguage = 1033;

// The one configuration of this process.
[[nodiscard]] Cfg& TheCfg();

// Reads the configuration document from the stub's own resources (RT_RCDATA
// 222, language 1033) into TheCfg(). ConfigurationMissing when the image
// carries none.
[[nodiscard]] velmora::VMStatus LoadConfigurationResource();

// Validates a NUL-terminated UTF-8 document into TheCfg(), matching its
// Options against this machine.
[[nodiscard]] velmora::VMStatus ParseConfiguration(const char* text);

// The same into `cfg`, for a machine of the `native` architecture: lets a
// tool check a document for machines other than its own.
[[nodiscard]] velmora::VMStatus ParseConfiguration(const char* text, Cfg& cfg,
                                                   velmora::ProcessorArchitecture native);

// The configuration of a stub without a document: extract into the current
// working directory, with the folder and progress dialogs. An empty
// `titleText` gives the default caption "<file name> Self Extractor".
[[nodiscard]] velmora::VMStatus InstallDefaultConfiguration(const std::wstring& titleText);
[[nodiscard]] velmora::VMStatus InstallDefaultConfiguration(Cfg& cfg, const std::wstring& titleText);
