// SPDX-License-Identifier: Apache-2.0
#include "packer/explain.h"

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <set>

#include "config/cfg.h"
#include "config/language_mgr.h"
#include "config/launch_choice.h"
#include "config/stub_status.h"
#include "packer/config_check.h"
#include "packer/status_text.h"
#include "support/vm_xml_document.h"

using velmora::VMStatus;
using velmora::VMXmlDocument;
namespace status = velmora::status;

namespace {

// The run sequence's steps up to the task list for one user, without
// --language, --command or a dialog.
ExplainRow ExplainFor(const Cfg& cfg, const wchar_t* machine, const std::wstring& display) {
  ExplainRow row{.Machine = machine, .Display = display};
  const auto fail = [&](VMStatus code, const wchar_t* why) {
    row.Status = code;
    row.Result = DescribeStatus(code) + L": " + why;
    return row;
  };
  if (!HasWorkForThisMachine(cfg)) return fail(stub_status::PlatformNotSupported, L"no Option fits this machine");
  const CfgOptions& options = *cfg.Launch->Options;
  std::wstring tag;
  if (!options.HasLanguageNeutralOption) {
    LanguageMgr languages(options);
    if (const VMStatus loaded = languages.LoadAvailableLanguages(); loaded != status::Ok) {
      return fail(loaded, L"no language tag of the fitting Options names a known locale");
    }
    // A display language is one Windows has: its subtags are all the
    // choice looks at.
    velmora::LanguageInfo user;
    if (const VMStatus parsed = user.ParseSubtags(display); parsed != status::Ok) {
      return fail(parsed, L"not a language tag");
    }
    languages.SelectFor(user);
    tag = languages.SelectedLanguage.Tag;
    if (tag.empty()) return fail(status::NoUniqueMatch, L"no offered language suits this user");
    row.Language = tag;
  }
  std::shared_ptr<CfgOption> option;
  if (const VMStatus chosen = ChooseOption(options, tag, option); chosen != status::Ok) {
    return fail(chosen, L"no single Option carries the language");
  }
  row.Option = option->Id;
  std::shared_ptr<CfgCommand> command;
  if (const VMStatus chosen = ChooseCommand(*option, L"", command); chosen != status::Ok) {
    return fail(chosen, L"the Option has several Commands and no DefaultCommand");
  }
  row.Command = command->Id;
  const std::wstring waits = command->WaitForProcessTree ? L"waits for the whole process tree" : L"waits";
  if (command->UseCreateProcess) {
    row.Result = L"CreateProcess, " + waits;
  } else {
    row.Result = L"ShellExecute, " + (command->Wait ? waits : L"does not wait");
    if (command->AsAdmin) row.Result += L", as administrator";
  }
  return row;
}

// The text of the element at `path` below the root as written, before
// anything of the machine the installer runs on enters it.
std::wstring WrittenText(const std::string& document, std::initializer_list<const char*> path) {
  VMXmlDocument xml;
  if (xml.Parse(document.c_str()) != status::Ok) return {};
  CfgElement element = xml.Xml().FirstChildElement("SelfExtractor");
  for (const char* name : path) element = element ? element->FirstChildElement(name) : nullptr;
  std::wstring text;
  return element && VMXmlDocument::GetElementText(element, text) == status::Ok ? text : std::wstring{};
}

void NoteExtract(const Cfg& cfg, const std::string& document, std::vector<std::wstring>& notes) {
  const std::wstring target = WrittenText(document, {"Extract", "TargetPath"});
  // Without a Title the caption comes from the installer's own file name,
  // which only the machine it runs on knows.
  notes.push_back(WrittenText(document, {"Title"}).empty()
                      ? std::wstring(L"Extract installer, caption from its file name (\"setup Self Extractor\" for setup.exe).")
                      : L"Extract installer, caption \"" + cfg.Title + L"\".");
  notes.push_back(L"It unpacks into " +
                  (target.empty() ? std::wstring(L"the folder it is started from")
                                  : target + L" (resolved on the machine it runs on)") +
                  (cfg.Extract->FolderSelectionDialogEnabled ? L"; the \"Extract to\" dialog lets the user change it."
                                                             : L", without asking."));
  notes.push_back(L"No Option or Command is chosen: the processor and the display language change nothing.");
}

void NoteLaunch(const Cfg& cfg, std::vector<std::wstring>& notes) {
  notes.push_back(L"Launch installer, caption \"" + cfg.Title + L"\".");
  notes.push_back(cfg.Launch->LanguageSelectionDialogEnabled
                      ? L"The language dialog opens first, with the language below preselected; with --gui "
                        L"off that language is taken without asking."
                      : L"No language dialog: the language below is taken without asking.");
}

}  // namespace

std::vector<std::wstring> SplitLanguageList(const std::wstring& list) {
  std::vector<std::wstring> tags;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(L',', start);
    if (end == std::wstring::npos) end = list.size();
    if (end > start) tags.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return tags;
}

void ExplainConfiguration(const std::string& document, const std::vector<std::wstring>& languages,
                          Explanation& explanation) {
  explanation = Explanation{};
  struct Loaded {
    const wchar_t* Machine;
    std::unique_ptr<Cfg> Config;
    VMStatus Status;
  };
  std::vector<Loaded> loads;
  std::set<std::wstring> documentTags;
  for (const CheckedMachine& machine : kCheckedMachines) {
    auto cfg = std::make_unique<Cfg>();
    const VMStatus loaded = ParseConfiguration(document.c_str(), *cfg, machine.Architecture);
    if (loaded == status::Ok && cfg->Launch) {
      for (const auto& [id, option] : cfg->Launch->Options->OptionsById) {
        if (option->LanguageTagSet) documentTags.insert(option->LanguageTagSet->Tags.begin(), option->LanguageTagSet->Tags.end());
      }
    }
    explanation.LoadFails = explanation.LoadFails || loaded != status::Ok;
    loads.push_back({machine.Name, std::move(cfg), loaded});
  }

  // The packer's own check may refuse what the stub would load (an element
  // that would silently do nothing).
  ConfigCheckResult checked;
  const VMStatus check = CheckConfiguration(document, checked);
  explanation.DocumentNotes = checked.Notes;
  if (explanation.LoadFails) {
    explanation.Notes.push_back(L"The document fails to load: " + checked.Error);
  } else if (check != status::Ok) {
    explanation.LoadFails = true;
    explanation.Notes.push_back(L"The document is refused: " + checked.Error);
  }
  for (const Loaded& load : loads) {
    if (load.Status != status::Ok) continue;
    // The sections do not depend on the machine: the first load tells.
    if (load.Config->Extract) {
      NoteExtract(*load.Config, document, explanation.Notes);
      return;
    }
    NoteLaunch(*load.Config, explanation.Notes);
    break;
  }
  // Failing everywhere, the document has nothing to show per machine.
  if (std::none_of(loads.begin(), loads.end(), [](const Loaded& load) { return load.Status == status::Ok; })) return;

  std::vector<std::wstring> displays = languages;
  if (displays.empty()) {
    displays.assign(std::begin(kDefaultExplainLanguages), std::end(kDefaultExplainLanguages));
    for (const std::wstring& tag : documentTags) {
      if (std::find(displays.begin(), displays.end(), tag) == displays.end()) displays.push_back(tag);
    }
  }
  // A load failure is said once, in the notes; a machine it stops gets one
  // row, not one per language.
  for (const Loaded& load : loads) {
    if (load.Status != status::Ok) {
      explanation.Rows.push_back({.Machine = load.Machine, .Display = L"any",
                                  .Result = DescribeStatus(load.Status) + L": the document fails to load here",
                                  .Status = load.Status});
      continue;
    }
    for (const std::wstring& display : displays) {
      explanation.Rows.push_back(ExplainFor(*load.Config, load.Machine, display));
    }
  }
}

std::vector<std::wstring> FormatExplanation(const Explanation& explanation) {
  std::vector<std::wstring> lines = explanation.Notes;
  if (explanation.Rows.empty()) return lines;
  using Cells = std::vector<std::wstring>;
  std::vector<Cells> table{{L"machine", L"display", L"language", L"Option", L"Command", L"result"}};
  const auto cell = [](const std::wstring& text) { return text.empty() ? std::wstring(L"-") : text; };
  for (const ExplainRow& row : explanation.Rows) {
    table.push_back({row.Machine, row.Display, cell(row.Language), cell(row.Option), cell(row.Command), row.Result});
  }
  std::vector<std::size_t> widths(table.front().size(), 0);
  for (const Cells& cells : table) {
    for (std::size_t i = 0; i < cells.size(); ++i) widths[i] = std::max(widths[i], cells[i].size());
  }
  lines.emplace_back();
  for (const Cells& cells : table) {
    std::wstring line;
    for (std::size_t i = 0; i < cells.size(); ++i) {
      line += cells[i];
      if (i + 1 < cells.size()) line.append(widths[i] - cells[i].size() + 2, L' ');
    }
    lines.push_back(std::move(line));
  }
  return lines;
}
