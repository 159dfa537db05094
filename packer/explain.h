// SPDX-License-Identifier: Apache-2.0
// What an installer made from a configuration document does on the machines
// it may meet: for each processor architecture and display language, the
// Option and Command it runs, or the status it ends with. The answers come
// from the stub's own loader and selection rules.
#pragma once

#include <string>
#include <vector>

#include "support/vm_status.h"

struct ExplainRow {
  std::wstring Machine = {};
  // The user's Windows display language.
  std::wstring Display = {};
  // The tag the installer takes; empty when it takes none.
  std::wstring Language = {};
  std::wstring Option = {};
  std::wstring Command = {};
  // How the Command starts, or why the run ends with Status.
  std::wstring Result = {};
  velmora::VMStatus Status = velmora::status::Ok;
};

struct Explanation {
  // What holds for every machine: the kind of installer, its caption, its
  // dialogs, the load failure.
  std::vector<std::wstring> Notes;
  // Empty for an extract document, which chooses nothing.
  std::vector<ExplainRow> Rows;
  // The document fails to load on at least one machine.
  bool LoadFails = false;
  // What the packer notes on the document when it packs it (an element the
  // format does not have, a machine no Option fits).
  std::vector<std::wstring> DocumentNotes;
};

// The display languages asked about when none are given; the document's own
// tags are added to them.
inline constexpr const wchar_t* kDefaultExplainLanguages[] = {L"en-US", L"de-DE", L"fr-FR",
                                                              L"ja-JP", L"zh-CN", L"ar-SA"};

// `document` is the NUL-free UTF-8 text; `languages` empty means the default
// set and the document's tags.
void ExplainConfiguration(const std::string& document, const std::vector<std::wstring>& languages,
                          Explanation& explanation);

// The lines to print: the notes, then one table row per machine and
// language with aligned columns.
[[nodiscard]] std::vector<std::wstring> FormatExplanation(const Explanation& explanation);

// "de-DE,fr-FR" into its tags; empty parts are dropped.
[[nodiscard]] std::vector<std::wstring> SplitLanguageList(const std::wstring& list);
