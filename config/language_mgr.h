// SPDX-License-Identifier: Apache-2.0
// The languages of a launch configuration: one entry per tag of the Options
// that fit this machine.
#pragma once

#include "config/cfg.h"
#include "support/vm_win_ui_language_mgr.h"

class LanguageMgr final : public velmora::VMWinUiLanguageMgr {
 public:
  explicit LanguageMgr(const CfgOptions& options) : options_(options) {}

  // In the tags' order. A tag Windows has no locale for is left out rather
  // than failing the run: the user can still be offered the others. Failed
  // when no tag is left.
  [[nodiscard]] velmora::VMStatus LoadAvailableLanguages() override;

 private:
  const CfgOptions& options_;
};
