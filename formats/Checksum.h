// The checksum of a .tbl file's string area.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vm {

// CRC-16/CCITT-FALSE: polynomial 0x1021, initial 0xFFFF, no reflection, no
// final XOR. An empty range gives 0xFFFF.
std::uint16_t Crc16(const std::uint8_t* bytes, std::size_t count);

}  // namespace vm
