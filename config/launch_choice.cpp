// SPDX-License-Identifier: Apache-2.0
#include "config/launch_choice.h"

#include "config/stub_status.h"

using velmora::VMStatus;
namespace status = velmora::status;

VMStatus ChooseOption(const CfgOptions& options, const std::wstring& tag, std::shared_ptr<CfgOption>& option) {
  option.reset();
  if (options.HasLanguageNeutralOption) {
    if (options.MatchingOptionIds.size() != 1) return status::NoUniqueMatch;
    const auto found = options.OptionsById.find(options.MatchingOptionIds.front());
    if (found == options.OptionsById.end()) return status::NoUniqueMatch;
    option = found->second;
    return status::Ok;
  }
  if (tag.empty()) return status::InvalidValue;
  for (const std::wstring& id : options.MatchingOptionIds) {
    const auto found = options.OptionsById.find(id);
    if (found == options.OptionsById.end() || !found->second->LanguageTagSet) continue;
    if (found->second->LanguageTagSet->Tags.count(tag) == 0) continue;
    if (option) {
      option.reset();
      return status::NoUniqueMatch;
    }
    option = found->second;
  }
  return option ? status::Ok : status::NoUniqueMatch;
}

VMStatus ChooseCommand(const CfgOption& option, const std::wstring& commandId, std::shared_ptr<CfgCommand>& command) {
  command.reset();
  if (!option.Commands) return status::RequiredItemMissing;
  const CfgCommands& commands = *option.Commands;
  const std::wstring& id = commandId.empty() ? commands.DefaultCommand : commandId;
  if (id.empty()) {
    if (commands.CommandsById.size() != 1) return status::RequiredItemMissing;
    command = commands.CommandsById.begin()->second;
    return status::Ok;
  }
  // Not lowered: a command line names the Id as the document stores it.
  const auto found = commands.CommandsById.find(id);
  if (found == commands.CommandsById.end()) return stub_status::InvalidCommandLine;
  command = found->second;
  return status::Ok;
}
