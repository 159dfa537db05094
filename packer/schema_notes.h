// SPDX-License-Identifier: Apache-2.0
// What a configuration document holds that the format does not have. The
// stub looks up only the elements and attributes it knows and ignores every
// other one, so a misspelt name silently does nothing. What the format has
// is read from the schema the project ships, built into the packer, so that
// these notes and an editor's checks come from one description.
#pragma once

#include <string>
#include <vector>

// Appends one note per element or attribute below the first <SelfExtractor>
// that the schema does not have where it stands (with its line), and per
// default namespace declared on an element. A document that is not
// well-formed XML gets no notes: its failure is reported instead.
void NoteNamesOutsideTheFormat(const std::string& document, std::vector<std::wstring>& notes);
