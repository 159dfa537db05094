// UTF-8 <-> UTF-16 conversion for command-line text.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// Text that is not valid UTF-16 (a lone surrogate) is converted unit by unit
// instead, keeping the low byte of every unit.
[[nodiscard]] std::string VMUtf16ToUtf8(std::wstring_view text);

// Text that is not valid UTF-8 is converted byte by byte instead, each byte
// widened to the unit of the same unsigned value.
[[nodiscard]] std::wstring VMUtf8ToUtf16(std::string_view text);

}  // namespace velmora
