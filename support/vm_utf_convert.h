// SPDX-License-Identifier: Apache-2.0
// UTF-8 <-> UTF-16 conversion for command-line and document text.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// Whether every surrogate in `text` is part of a pair.
[[nodiscard]] bool VMIsValidUtf16(std::wstring_view text);

// Text that is not valid UTF-16 (a lone surrogate) is converted unit by unit
// instead, keeping the low byte of every unit.
[[nodiscard]] std::string VMUtf16ToUtf8(std::wstring_view text);

// How bytes that are not valid UTF-8 become UTF-16 units.
enum class VMByteWidening {
  Unsigned,      // 0xE4 -> 0x00E4: the byte read as Latin-1
  SignExtended,  // 0xE4 -> 0xFFE4: the byte read as a signed char
};

// Text that is not valid UTF-8 is converted byte by byte instead, each byte
// widened to one unit as `widening` says.
[[nodiscard]] std::wstring VMUtf8ToUtf16(std::string_view text,
                                         VMByteWidening widening = VMByteWidening::Unsigned);

}  // namespace velmora
