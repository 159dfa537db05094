// SPDX-License-Identifier: Apache-2.0
// Damage done to a 7z archive in memory, chosen by a case number so that
// every case can be made again from its number alone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace harden {

// The archive's CRC-32, as its headers hold it.
[[nodiscard]] std::uint32_t Crc32(std::string_view data);

// `archive` with one kind of damage, which `kind` names: bytes changed at
// about 1 % density (anywhere, or in the packed streams only), one bit
// flipped in the start header or in the end header, or end-header bytes or
// the start header's next-header offset and size edited with both checksums
// made to fit again, so that the damage gets past them into the header
// parser and the decoders.
[[nodiscard]] std::string Mutate(const std::string& archive, long caseNumber, std::string& kind);

// `archive` cut short at a place case `caseNumber` chooses: in the start
// header, the packed streams or the end header.
[[nodiscard]] std::string Truncate(const std::string& archive, long caseNumber, std::string& kind);

}  // namespace harden
