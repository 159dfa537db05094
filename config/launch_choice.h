// SPDX-License-Identifier: Apache-2.0
// Which Option of a launch configuration runs, and which of its Commands.
#pragma once

#include <memory>
#include <string>

#include "config/cfg.h"

// The Option for the language `tag` among those that fit this machine; for a
// language-neutral configuration the one fitting Option, whatever `tag`.
// NoUniqueMatch when none or several carry the tag (or not exactly one fits
// a neutral configuration), InvalidValue for an empty tag otherwise.
[[nodiscard]] velmora::VMStatus ChooseOption(const CfgOptions& options, const std::wstring& tag,
                                             std::shared_ptr<CfgOption>& option);

// The Command `commandId` of `option` (exact: the stored Ids are lower
// case), its DefaultCommand when `commandId` is empty, or its only Command
// when it has neither. InvalidCommandLine for an Id it does not have,
// RequiredItemMissing when there is no Id and more than one Command.
[[nodiscard]] velmora::VMStatus ChooseCommand(const CfgOption& option, const std::wstring& commandId,
                                              std::shared_ptr<CfgCommand>& command);
