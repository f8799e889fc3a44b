#include "Global.h"

#include <array>

namespace vm {

namespace {

constexpr std::array<std::uint16_t, 256> MakeCrcTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000u) ? ((crc << 1) ^ 0x1021u) : (crc << 1);
        table[i] = static_cast<std::uint16_t>(crc & 0xFFFFu);
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> CrcTable = MakeCrcTable();

}  // namespace

std::uint16_t Crc16(const std::uint8_t* bytes, std::size_t count) {
    unsigned crc = 0xFFFFu;
    for (std::size_t i = 0; i < count; ++i)
        crc = ((crc << 8) & 0xFFFFu) ^ CrcTable[((crc >> 8) ^ bytes[i]) & 0xFFu];
    return static_cast<std::uint16_t>(crc);
}

}  // namespace vm
