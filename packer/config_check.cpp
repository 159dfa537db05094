// SPDX-License-Identifier: Apache-2.0
#include "packer/config_check.h"

#include <string_view>

#include "config/cfg.h"
#include "config/stub_status.h"
#include "packer/status_text.h"
#include "support/vm_utf_convert.h"
#include "support/vm_xml_document.h"

using velmora::ProcessorArchitecture;
using velmora::VMStatus;
using velmora::VMXmlDocument;
namespace status = velmora::status;

namespace {

// The loader's own entry points for the elements it reads as objects. The
// loader tells only whether a document failed; running the same code on
// ever smaller subtrees finds the innermost element that fails by itself.
template <typename Object>
VMStatus LoadPart(CfgElement element, ProcessorArchitecture native) {
  Object part;
  if constexpr (requires { part.Load(element, native); }) {
    return part.Load(element, native);
  } else {
    (void)native;
    return part.Load(element);
  }
}

struct PartLoader {
  const char* Name;
  VMStatus (*Load)(CfgElement, ProcessorArchitecture);
};
constexpr PartLoader kPartLoaders[] = {
    {"Extract", &LoadPart<CfgExtract>},
    {"Launch", &LoadPart<CfgLaunch>},
    {"Options", &LoadPart<CfgOptions>},
    {"Option", &LoadPart<CfgOption>},
    {"ProcessorArchitectureSet", &LoadPart<CfgProcessorArchitectureSet>},
    {"LanguageTagSet", &LoadPart<CfgLanguageTagSet>},
    {"Commands", &LoadPart<CfgCommands>},
    {"Command", &LoadPart<CfgCommand>},
};

const PartLoader* FindPartLoader(const char* name) {
  for (const PartLoader& loader : kPartLoaders) {
    if (std::string_view(loader.Name) == name) return &loader;
  }
  return nullptr;
}

// The innermost element under `root` whose part fails to load on its own;
// `root` itself when none of its parts does.
CfgElement InnermostFailingElement(CfgElement root, ProcessorArchitecture native) {
  CfgElement current = root;
  for (;;) {
    CfgElement failing = nullptr;
    for (CfgElement child = current->FirstChildElement(); child != nullptr && failing == nullptr;
         child = child->NextSiblingElement()) {
      const PartLoader* loader = FindPartLoader(child->Name());
      if (loader != nullptr && loader->Load(child, native) != status::Ok) failing = child;
    }
    if (failing == nullptr) return current;
    current = failing;
  }
}

std::wstring DescribeElement(CfgElement element) {
  std::wstring text = L"<" + velmora::VMUtf8ToUtf16(element->Name());
  if (const char* id = element->Attribute("Id")) text += L" Id=\"" + velmora::VMUtf8ToUtf16(id) + L"\"";
  return text + L"> at line " + std::to_wstring(element->GetLineNum());
}

// Where in the document the failure lies, as far as it can be told.
std::wstring LocateFailure(const std::string& document, ProcessorArchitecture native) {
  VMXmlDocument xml;
  if (xml.Parse(document.c_str()) != status::Ok) {
    return L"the document is not well-formed XML: " + velmora::VMUtf8ToUtf16(xml.Xml().ErrorName()) +
           L" at line " + std::to_wstring(xml.Xml().ErrorLineNum());
  }
  CfgElement root = xml.Xml().FirstChildElement("SelfExtractor");
  if (root == nullptr) return L"the document has no <SelfExtractor> element";
  return L"in " + DescribeElement(InnermostFailingElement(root, native));
}

// The first <WaitForProcessTree> below `element` that stands where it cannot
// work: where the stub never looks for it, the author would believe the run
// waits for helpers that it leaves running; under a ShellExecute that does
// not wait the stub refuses it, and this names the reason.
CfgElement MisplacedTreeWait(CfgElement element) {
  for (CfgElement child = element->FirstChildElement(); child != nullptr; child = child->NextSiblingElement()) {
    const std::string_view name = child->Name();
    if (name == "WaitForProcessTree") {
      const std::string_view parent = element->Name();
      const CfgElement command = element->Parent() ? element->Parent()->ToElement() : nullptr;
      bool waits = parent == "CreateProcess";
      // A Wait that is missing or unreadable reads as false.
      if (parent == "ShellExecute") (void)VMXmlDocument::GetAttributeBool(element, "Wait", waits);
      if (!waits || command == nullptr || std::string_view(command->Name()) != "Command") return child;
    }
    if (CfgElement found = MisplacedTreeWait(child)) return found;
  }
  return nullptr;
}

}  // namespace

VMStatus CheckConfiguration(const std::string& document, ConfigCheckResult& result) {
  result = ConfigCheckResult{};
  VMXmlDocument xml;
  if (xml.Parse(document.c_str()) == status::Ok) {
    if (CfgElement root = xml.Xml().FirstChildElement("SelfExtractor")) {
      if (CfgElement misplaced = MisplacedTreeWait(root)) {
        result.Error = L"<WaitForProcessTree> at line " + std::to_wstring(misplaced->GetLineNum()) +
                       L" has no effect there: it belongs in <CreateProcess>, or in <ShellExecute Wait=\"true\">.";
        return status::InvalidConfiguration;
      }
    }
  }
  for (const CheckedMachine& machine : kCheckedMachines) {
    Cfg cfg;
    const VMStatus loaded = ParseConfiguration(document.c_str(), cfg, machine.Architecture);
    if (loaded != status::Ok) {
      result.Error = L"the configuration fails to load on an " + std::wstring(machine.Name) + L" machine with " +
                     DescribeStatus(loaded) + L", " + LocateFailure(document, machine.Architecture) + L".";
      return loaded;
    }
    if (cfg.Launch && cfg.Launch->Options && cfg.Launch->Options->MatchingOptionIds.empty()) {
      result.Notes.push_back(std::wstring(machine.Name) +
                             L": no Option fits this machine; the installer exits there with " +
                             DescribeStatus(stub_status::PlatformNotSupported) + L".");
    }
  }
  return status::Ok;
}
