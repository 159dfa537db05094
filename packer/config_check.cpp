// SPDX-License-Identifier: Apache-2.0
#include "packer/config_check.h"

#include <algorithm>
#include <cstdint>
#include <cwctype>
#include <iterator>
#include <string_view>

#include "config/cfg.h"
#include "config/stub_status.h"
#include "packer/schema_notes.h"
#include "packer/status_text.h"
#include "packer/xml_mistake.h"
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

// The format version, when it is one the stub does not read: the sentence
// names the versions it does read. Empty otherwise.
std::wstring UnreadVersion(CfgElement root) {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  if (VMXmlDocument::GetAttributeUnsigned(root, "FormatVersionMajor", major) != status::Ok ||
      VMXmlDocument::GetAttributeUnsigned(root, "FormatVersionMinor", minor) != status::Ok ||
      (major == kFormatVersionMajor && minor <= kFormatVersionMinorLast)) {
    return {};
  }
  std::wstring versions;
  for (std::uint32_t known = 0; known <= kFormatVersionMinorLast; ++known) {
    versions += (known == 0 ? L"" : known == kFormatVersionMinorLast ? L" and " : L", ") +
                std::to_wstring(kFormatVersionMajor) + L"." + std::to_wstring(known);
  }
  return L"<SelfExtractor> at line " + std::to_wstring(root->GetLineNum()) + L" has format version " +
         std::to_wstring(major) + L"." + std::to_wstring(minor) + L"; this stub reads " + versions + L" only";
}

// Where in the document the failure lies, as far as it can be told.
std::wstring LocateFailure(const std::string& document, ProcessorArchitecture native) {
  VMXmlDocument xml;
  if (xml.Parse(document.c_str()) != status::Ok) {
    if (document.find_first_not_of(" \t\r\n") == std::string::npos) return L"the document is empty";
    const std::wstring mistake = DescribeXmlMistake(document);
    return L"the document is not well-formed XML: " +
           (mistake.empty() ? L"the XML parser stops at line " + std::to_wstring(xml.Xml().ErrorLineNum()) : mistake);
  }
  CfgElement root = xml.Xml().FirstChildElement("SelfExtractor");
  if (root == nullptr) return L"the document has no <SelfExtractor> element";
  if (std::wstring version = UnreadVersion(root); !version.empty()) return version;
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

// Windows compares file names without regard to letter case.
std::wstring Folded(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

void CollectExecutables(CfgElement element, std::vector<CfgElement>& found) {
  for (CfgElement child = element->FirstChildElement(); child != nullptr; child = child->NextSiblingElement()) {
    const std::string_view name = child->Name();
    const std::string_view parent = element->Name();
    if (name == "Executable" && (parent == "CreateProcess" || parent == "ShellExecute")) {
      found.push_back(child);
    } else {
      CollectExecutables(child, found);
    }
  }
}

}  // namespace

void NoteProgramsOutsidePayload(const std::string& document, const std::vector<std::wstring>& itemPaths,
                                std::vector<std::wstring>& notes) {
  VMXmlDocument xml;
  if (xml.Parse(document.c_str()) != status::Ok) return;
  CfgElement root = xml.Xml().FirstChildElement("SelfExtractor");
  if (root == nullptr) return;
  std::vector<CfgElement> executables;
  CollectExecutables(root, executables);
  std::vector<std::wstring> items;
  for (const std::wstring& path : itemPaths) items.push_back(Folded(path));
  for (CfgElement executable : executables) {
    std::wstring name;
    if (VMXmlDocument::GetElementText(executable, name) != status::Ok) continue;
    // A folder part, a known folder or a variable: the path is used as
    // written, not searched for.
    if (name.empty() || name.find_first_of(L"\\/:%$") != std::wstring::npos) continue;
    // The stub adds ".exe" to a name without a dot.
    const std::wstring program = Folded(name) + (name.find(L'.') == std::wstring::npos ? L".exe" : L"");
    if (std::find(items.begin(), items.end(), program) != items.end()) continue;
    notes.push_back(L"<Executable>" + name + L"</Executable> at line " + std::to_wstring(executable->GetLineNum()) +
                    L" names no item at the top of the payload (letter case aside): the stub looks for it in the "
                    L"Windows system folder, then the Windows folder and the folders of PATH on the machine it "
                    L"runs on, never in the folder the installer was started from.");
  }
}

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
  VMStatus loads[std::size(kCheckedMachines)] = {};
  std::vector<std::wstring> machineNotes;
  for (std::size_t i = 0; i < std::size(kCheckedMachines); ++i) {
    const CheckedMachine& machine = kCheckedMachines[i];
    Cfg cfg;
    loads[i] = ParseConfiguration(document.c_str(), cfg, machine.Architecture);
    if (loads[i] == status::Ok && cfg.Launch && cfg.Launch->Options &&
        cfg.Launch->Options->MatchingOptionIds.empty()) {
      machineNotes.push_back(std::wstring(machine.Name) +
                             L": no Option fits this machine; the installer exits there with " +
                             DescribeStatus(stub_status::PlatformNotSupported) + L".");
    }
  }
  for (std::size_t i = 0; i < std::size(kCheckedMachines); ++i) {
    if (loads[i] == status::Ok) continue;
    // A failure that every machine meets alike (a mistake in the XML, an
    // unknown version) does not depend on the machine, so none is named.
    bool everywhere = true;
    for (const VMStatus other : loads) everywhere = everywhere && other == loads[i];
    const std::wstring where =
        everywhere ? L"" : L" on an " + std::wstring(kCheckedMachines[i].Name) + L" machine";
    result.Error = L"the configuration fails to load" + where + L" with " + DescribeStatus(loads[i]) + L", " +
                   LocateFailure(document, kCheckedMachines[i].Architecture) + L".";
    return loads[i];
  }
  // Only a document the stub loads can have names it ignores: where it
  // refuses one (Wait on CreateProcess, an element inside a text), the
  // refusal says so.
  NoteNamesOutsideTheFormat(document, result.Notes);
  result.Notes.insert(result.Notes.end(), machineNotes.begin(), machineNotes.end());
  return status::Ok;
}
