// SPDX-License-Identifier: Apache-2.0
// Where a text that is not well-formed XML goes wrong, in words: the line
// and column of the mistake, and for a closing tag that does not match, the
// opening tag's place too. The XML parser tells only a line, and for a
// mismatched tag the line of the element it was reading, not of the wrong
// closing tag.
#pragma once

#include <string>

// One sentence without a final full stop ("the closing tag </Extract> at
// line 6, column 3 does not match the opening tag <Launch> at line 4, column
// 3"); empty when this scan finds no mistake the parser would have stopped
// at.
[[nodiscard]] std::wstring DescribeXmlMistake(const std::string& text);
