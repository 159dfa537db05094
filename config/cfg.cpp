// SPDX-License-Identifier: Apache-2.0
#include "config/cfg.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstring>
#include <new>
#include <string_view>

#include "config/stub_status.h"
#include "config/target_path.h"
#include "support/vm_ascii_case.h"
#ifdef _WIN32
#include "support/vm_win_module_file_name.h"
#endif
#include "support/vm_xml_document.h"

using velmora::ProcessorArchitecture;
using velmora::VMStatus;
using velmora::VMXmlDocument;
namespace status = velmora::status;

namespace {

struct ArchitectureName {
  const wchar_t* Name;
  ProcessorArchitecture Value;
};
constexpr ArchitectureName kArchitectureNames[] = {
    {L"x86", ProcessorArchitecture::X86},   {L"x64", ProcessorArchitecture::X64},
    {L"IA64", ProcessorArchitecture::IA64}, {L"ARM", ProcessorArchitecture::ARM},
    {L"ARM64", ProcessorArchitecture::ARM64},
};

// The single child `name` of `element`, or null when there is none. More
// than one is a malformed document.
VMStatus OptionalChild(CfgElement element, const char* name, CfgElement& child) {
  child = nullptr;
  std::vector<CfgElement> found;
  VM_RETURN_IF_FAILED(VMXmlDocument::GetChildElements(element, name, found));
  if (found.size() > 1) return status::InvalidConfiguration;
  if (!found.empty()) child = found.front();
  return status::Ok;
}

// The single child `name` of `element`; none or several is a malformed
// document.
VMStatus RequiredChild(CfgElement element, const char* name, CfgElement& child) {
  VM_RETURN_IF_FAILED(OptionalChild(element, name, child));
  return child != nullptr ? status::Ok : status::InvalidConfiguration;
}

// Every child `name` of `element`; there must be at least one.
VMStatus RequiredChildren(CfgElement element, const char* name, std::vector<CfgElement>& children) {
  VM_RETURN_IF_FAILED(VMXmlDocument::GetChildElements(element, name, children));
  return children.empty() ? status::InvalidConfiguration : status::Ok;
}

// Calls `read` with the text of every child `name` of `element`, in
// document order, up to its first failure. There must be at least one.
template <typename ReadFn>
VMStatus ForEachChildText(CfgElement element, const char* name, ReadFn read) {
  std::vector<CfgElement> children;
  VM_RETURN_IF_FAILED(RequiredChildren(element, name, children));
  for (CfgElement child : children) {
    std::wstring text;
    VM_RETURN_IF_FAILED(VMXmlDocument::GetElementText(child, text));
    VM_RETURN_IF_FAILED(read(std::move(text)));
  }
  return status::Ok;
}

// Loads every child `name` of `element` into an `Item` (an Option or a
// Command) under its Id, in document order; `loaded` receives them in that
// order. There must be at least one, and no Id twice.
template <typename Item>
VMStatus LoadEachById(CfgElement element, const char* name, CfgObject* parent,
                      std::map<std::wstring, std::shared_ptr<Item>>& byId, std::vector<const Item*>& loaded) {
  std::vector<CfgElement> children;
  VM_RETURN_IF_FAILED(RequiredChildren(element, name, children));
  for (CfgElement child : children) {
    std::wstring id;
    VM_RETURN_IF_FAILED(ReadId(child, id));
    auto item = std::make_shared<Item>(parent, id);
    VM_RETURN_IF_FAILED(item->Load(child));
    loaded.push_back(item.get());
    if (!byId.emplace(std::move(id), std::move(item)).second) return status::InvalidConfiguration;
  }
  return status::Ok;
}

// A dialog switch such as <ProgressDialog><Enabled>true</Enabled></ProgressDialog>.
// `enabled` keeps its default when the dialog element is absent.
VMStatus ReadDialogEnabled(CfgElement section, const char* name, bool& enabled) {
  CfgElement dialog = nullptr;
  VM_RETURN_IF_FAILED(OptionalChild(section, name, dialog));
  if (dialog == nullptr) return status::Ok;
  CfgElement value = nullptr;
  VM_RETURN_IF_FAILED(RequiredChild(dialog, "Enabled", value));
  return VMXmlDocument::GetElementBool(value, enabled, enabled);
}

// Wait and AsAdmin: only a shell command may carry them.
VMStatus ReadCommandFlag(CfgElement element, bool shell, const char* name, bool& value) {
  value = false;
  if (element->Attribute(name) == nullptr) return status::Ok;
  if (!shell) return status::InvalidConfiguration;
  return VMXmlDocument::GetAttributeBool(element, name, value);
}

bool IsIdBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r'; }

// "setup Self Extractor" for setup.exe.
// A packer on another system has no installer file yet: the bare suffix.
VMStatus DefaultExtractCaption(std::wstring& caption) {
#ifdef _WIN32
  velmora::VMWinModuleFileName self;
  VM_RETURN_IF_FAILED(self.InitWithModuleHandle());
  caption = self.FileName + L" Self Extractor";
#else
  caption = L" Self Extractor";
#endif
  return status::Ok;
}

VMStatus LoadDocument(const char* text, Cfg& cfg, ProcessorArchitecture native) {
  cfg.Extract.reset();
  cfg.Launch.reset();

  VMXmlDocument document;
  VM_RETURN_IF_FAILED(document.Parse(text));
  CfgElement root = document.Xml().FirstChildElement("SelfExtractor");
  if (root == nullptr) return status::InvalidConfiguration;

  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  VM_RETURN_IF_FAILED(VMXmlDocument::GetAttributeUnsigned(root, "FormatVersionMajor", major));
  VM_RETURN_IF_FAILED(VMXmlDocument::GetAttributeUnsigned(root, "FormatVersionMinor", minor));
  if (major != kFormatVersionMajor || minor > kFormatVersionMinorLast) return status::InvalidConfiguration;

  std::wstring titleText;
  CfgElement title = nullptr;
  VM_RETURN_IF_FAILED(OptionalChild(root, "Title", title));
  if (title != nullptr) {
    VM_RETURN_IF_FAILED(VMXmlDocument::GetElementText(title, titleText));
    cfg.Title = L" " + titleText;
  }

  CfgElement section = nullptr;
  VM_RETURN_IF_FAILED(OptionalChild(root, "Extract", section));
  if (section != nullptr) {
    auto extract = std::make_shared<CfgExtract>(&cfg);
    VM_RETURN_IF_FAILED(extract->Load(section));
    cfg.Extract = std::move(extract);
    if (titleText.empty()) VM_RETURN_IF_FAILED(DefaultExtractCaption(cfg.Title));
  }

  VM_RETURN_IF_FAILED(OptionalChild(root, "Launch", section));
  if (section != nullptr) {
    auto launch = std::make_shared<CfgLaunch>(&cfg);
    VM_RETURN_IF_FAILED(launch->Load(section, native));
    cfg.Launch = std::move(launch);
    if (titleText.empty()) cfg.Title = L" Setup";
  }

  if (cfg.Extract && cfg.Launch) return status::InvalidConfiguration;
  if (!cfg.Extract && !cfg.Launch) return InstallDefaultConfiguration(cfg, titleText);
  return status::Ok;
}

}  // namespace

VMStatus CfgTask::LoadProgressDialog(CfgElement element) {
  ProgressDialogEnabled = true;
  return ReadDialogEnabled(element, "ProgressDialog", ProgressDialogEnabled);
}

VMStatus CfgExtract::Load(CfgElement element) {
  VM_RETURN_IF_FAILED(LoadProgressDialog(element));

  CfgElement target = nullptr;
  VM_RETURN_IF_FAILED(OptionalChild(element, "TargetPath", target));
  if (target == nullptr) {
    VM_RETURN_IF_FAILED(GetExtractDefaultTargetPath(TargetPath));
  } else {
    std::wstring value;
    std::wstring resolved;
    VM_RETURN_IF_FAILED(VMXmlDocument::GetElementText(target, value));
    VM_RETURN_IF_FAILED(ResolvePathValue(value, resolved));
    VM_RETURN_IF_FAILED(MakeAbsolutePath(resolved, TargetPath));
  }

  FolderSelectionDialogEnabled = true;
  return ReadDialogEnabled(element, "FolderSelectionDialog", FolderSelectionDialogEnabled);
}

VMStatus CfgLaunch::Load(CfgElement element, ProcessorArchitecture native) {
  VM_RETURN_IF_FAILED(LoadProgressDialog(element));
  // A fresh folder for every run: the clean-up afterwards deletes it whole.
  VM_RETURN_IF_FAILED(GetLaunchDefaultTargetPath(TargetPath));
  LanguageSelectionDialogEnabled = false;
  VM_RETURN_IF_FAILED(ReadDialogEnabled(element, "LanguageSelectionDialog", LanguageSelectionDialogEnabled));

  CfgElement options = nullptr;
  VM_RETURN_IF_FAILED(RequiredChild(element, "Options", options));
  auto loaded = std::make_shared<CfgOptions>(this);
  VM_RETURN_IF_FAILED(loaded->Load(options, native));
  Options = std::move(loaded);
  return status::Ok;
}

VMStatus CfgOptions::Load(CfgElement element, ProcessorArchitecture native) {
  std::vector<const CfgOption*> inDocumentOrder;
  VM_RETURN_IF_FAILED(LoadEachById(element, "Option", this, OptionsById, inDocumentOrder));

  // An unknown machine is never stored in a set, so it matches nothing.
  MatchingOptionIds.clear();
  for (const CfgOption* option : inDocumentOrder) {
    if (option->ProcessorArchitectureSet->Architectures.contains(native)) MatchingOptionIds.push_back(option->Id);
  }
  MatchingLanguageTags = std::make_shared<CfgLanguageTagSet>(this);
  HasLanguageNeutralOption = false;
  return CheckMatchingOptions();
}

VMStatus CfgOptions::CheckMatchingOptions() {
  for (const std::wstring& id : MatchingOptionIds) {
    const auto option = OptionsById.find(id);
    if (option == OptionsById.end()) return status::MissingObject;
    const std::set<std::wstring>& tags = option->second->LanguageTagSet->Tags;
    // A language-neutral Option beside any other would leave the choice
    // between them to chance.
    if (tags.empty()) {
      if (HasLanguageNeutralOption || !MatchingLanguageTags->Tags.empty()) return status::InvalidConfiguration;
      HasLanguageNeutralOption = true;
      continue;
    }
    if (HasLanguageNeutralOption) return status::InvalidConfiguration;
    for (const std::wstring& tag : tags) {
      if (!MatchingLanguageTags->Tags.insert(tag).second) return status::DuplicateEntry;
    }
  }
  return status::Ok;
}

VMStatus CfgOption::Load(CfgElement element) {
  CfgElement child = nullptr;
  VM_RETURN_IF_FAILED(RequiredChild(element, "ProcessorArchitectureSet", child));
  auto architectures = std::make_shared<CfgProcessorArchitectureSet>(this);
  VM_RETURN_IF_FAILED(architectures->Load(child));
  ProcessorArchitectureSet = std::move(architectures);

  VM_RETURN_IF_FAILED(OptionalChild(element, "LanguageTagSet", child));
  auto tags = std::make_shared<CfgLanguageTagSet>(this);
  if (child != nullptr) VM_RETURN_IF_FAILED(tags->Load(child));
  LanguageTagSet = std::move(tags);

  VM_RETURN_IF_FAILED(RequiredChild(element, "Commands", child));
  auto commands = std::make_shared<CfgCommands>(this);
  VM_RETURN_IF_FAILED(commands->Load(child));
  Commands = std::move(commands);
  return status::Ok;
}

VMStatus CfgProcessorArchitectureSet::Load(CfgElement element) {
  return ForEachChildText(element, "ProcessorArchitecture", [this](std::wstring name) {
    for (const ArchitectureName& entry : kArchitectureNames) {
      if (name == entry.Name) return Architectures.insert(entry.Value).second ? status::Ok : status::DuplicateEntry;
    }
    return status::InvalidConfiguration;
  });
}

// Letters, digits, "-" and "_" only. A tag travels on the elevated
// instance's command line; a blank or a quote in it would split or end that
// line there, and no language tag holds one.
static bool IsPlainLanguageTag(const std::wstring& tag) {
  if (tag.empty()) return false;
  for (const wchar_t c : tag) {
    const bool plain = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
                       c == L'-' || c == L'_';
    if (!plain) return false;
  }
  return true;
}

VMStatus CfgLanguageTagSet::Load(CfgElement element) {
  return ForEachChildText(element, "LanguageTag", [this](std::wstring tag) {
    if (!IsPlainLanguageTag(tag)) return status::InvalidConfiguration;
    return Tags.insert(std::move(tag)).second ? status::Ok : status::DuplicateEntry;
  });
}

VMStatus CfgCommands::Load(CfgElement element) {
  std::vector<const CfgCommand*> loaded;
  VM_RETURN_IF_FAILED(LoadEachById(element, "Command", this, CommandsById, loaded));

  DefaultCommand.clear();
  CfgElement fallback = nullptr;
  VM_RETURN_IF_FAILED(OptionalChild(element, "DefaultCommand", fallback));
  if (fallback == nullptr) return status::Ok;
  std::wstring id;
  VM_RETURN_IF_FAILED(VMXmlDocument::GetElementText(fallback, id));
  velmora::VMAsciiLowerInPlace(id);
  if (!id.empty() && !CommandsById.contains(id)) return status::NoUniqueMatch;
  DefaultCommand = std::move(id);
  return status::Ok;
}

VMStatus CfgCommand::Load(CfgElement element) {
  CfgElement createProcess = nullptr;
  CfgElement shellExecute = nullptr;
  VM_RETURN_IF_FAILED(OptionalChild(element, "CreateProcess", createProcess));
  VM_RETURN_IF_FAILED(OptionalChild(element, "ShellExecute", shellExecute));
  if ((createProcess == nullptr) == (shellExecute == nullptr)) return status::InvalidConfiguration;
  UseCreateProcess = createProcess != nullptr;
  CfgElement how = UseCreateProcess ? createProcess : shellExecute;

  CfgElement child = nullptr;
  VM_RETURN_IF_FAILED(RequiredChild(how, "Executable", child));
  std::wstring executable;
  VM_RETURN_IF_FAILED(VMXmlDocument::GetElementText(child, executable));
  VM_RETURN_IF_FAILED(ResolvePathValue(executable, Executable));

  // Environment references in the arguments are left for the launch.
  Arguments.clear();
  VM_RETURN_IF_FAILED(OptionalChild(how, "Arguments", child));
  if (child != nullptr) VM_RETURN_IF_FAILED(VMXmlDocument::GetElementText(child, Arguments));

  VM_RETURN_IF_FAILED(ReadCommandFlag(how, !UseCreateProcess, "Wait", Wait));
  VM_RETURN_IF_FAILED(ReadCommandFlag(how, !UseCreateProcess, "AsAdmin", AsAdmin));

  // Only a run that waits can wait for the program's own children too; a
  // document asking for it elsewhere would not get what it says.
  WaitForProcessTree = false;
  VM_RETURN_IF_FAILED(OptionalChild(how, "WaitForProcessTree", child));
  if (child == nullptr) return status::Ok;
  if (!UseCreateProcess && !Wait) return status::InvalidConfiguration;
  return VMXmlDocument::GetElementBool(child, WaitForProcessTree, WaitForProcessTree);
}

VMStatus ReadId(CfgElement element, std::wstring& id) {
  id.clear();
  if (element == nullptr) return status::MissingObject;
  std::wstring value = VMXmlDocument::Utf8ToUtf16(element->Attribute("Id"));
  // " install" would look like "install" to the user and never match it.
  if (!value.empty() && (IsIdBlank(value.front()) || IsIdBlank(value.back()))) return status::InvalidConfiguration;
  if (value.empty()) return status::NotFound;
  velmora::VMAsciiLowerInPlace(value);
  id = std::move(value);
  return status::Ok;
}

bool HasWorkForThisMachine(const Cfg& cfg) {
  if (cfg.Extract) return true;
  return cfg.Launch && cfg.Launch->Options && !cfg.Launch->Options->MatchingOptionIds.empty();
}

Cfg& TheCfg() {
  static Cfg cfg;
  return cfg;
}

#ifdef _WIN32
VMStatus LoadConfigurationResource() {
  const HRSRC resource = FindResourceExW(nullptr, RT_RCDATA,
                                         MAKEINTRESOURCEW(kConfigurationId), kConfigurationLanguage);
  if (resource == nullptr) {
    // Without any RT_RCDATA, or with RT_RCDATA but not this name (the
    // payload digest alone), the image carries no document.
    const DWORD error = GetLastError();
    return error == ERROR_RESOURCE_TYPE_NOT_FOUND || error == ERROR_RESOURCE_NAME_NOT_FOUND
               ? stub_status::ConfigurationMissing
               : velmora::LastErrorOr();
  }
  const HGLOBAL loaded = LoadResource(nullptr, resource);
  VM_RETURN_LAST_ERROR_IF(loaded == nullptr);
  const DWORD size = SizeofResource(nullptr, resource);
  if (size == 0) return velmora::LastErrorOr(stub_status::ConfigurationMissing);
  const void* bytes = LockResource(loaded);
  VM_RETURN_LAST_ERROR_IF(bytes == nullptr);

  // The parser wants a terminated text; the resource carries none. Its size
  // comes from the installer, so a failed allocation is a status here; the
  // stub's code is built without exceptions.
  const std::unique_ptr<char[]> text(new (std::nothrow) char[std::size_t{size} + 1]);
  if (!text) return status::OutOfMemory;
  std::memcpy(text.get(), bytes, size);
  text[size] = '\0';
  return ParseConfiguration(text.get());
}

VMStatus ParseConfiguration(const char* text) {
  return ParseConfiguration(text, TheCfg(), velmora::VMWinGetNativeArchitecture());
}

#endif

VMStatus ParseConfiguration(const char* text, Cfg& cfg, ProcessorArchitecture native) {
  return LoadDocument(text, cfg, native);
}

VMStatus InstallDefaultConfiguration(const std::wstring& titleText) {
  return InstallDefaultConfiguration(TheCfg(), titleText);
}

VMStatus InstallDefaultConfiguration(Cfg& cfg, const std::wstring& titleText) {
  cfg.Extract.reset();
  cfg.Launch.reset();
  auto extract = std::make_shared<CfgExtract>(&cfg);
  VM_RETURN_IF_FAILED(GetExtractDefaultTargetPath(extract->TargetPath));
  extract->FolderSelectionDialogEnabled = true;
  extract->ProgressDialogEnabled = true;
  cfg.Extract = std::move(extract);
  return titleText.empty() ? DefaultExtractCaption(cfg.Title) : status::Ok;
}
