#include "formats/FormatLimits.h"

#include <array>

namespace vm {

namespace {

// Table k holds the checksum step of a byte followed by k zero bytes, so
// eight bytes take eight independent lookups (slicing by 8) instead of a
// chain of eight dependent ones. Table 0 is the standard byte table.
constexpr std::array<std::array<std::uint16_t, 256>, 8> MakeCrcTables() {
    std::array<std::array<std::uint16_t, 256>, 8> tables{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i << 8;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000u) ? ((crc << 1) ^ 0x1021u) : (crc << 1);
        tables[0][i] = static_cast<std::uint16_t>(crc & 0xFFFFu);
    }
    for (std::size_t k = 1; k < 8; ++k)
        for (unsigned i = 0; i < 256; ++i) {
            const unsigned c = tables[k - 1][i];
            tables[k][i] = static_cast<std::uint16_t>(((c << 8) & 0xFFFFu) ^ tables[0][c >> 8]);
        }
    return tables;
}

constexpr std::array<std::array<std::uint16_t, 256>, 8> CrcTables = MakeCrcTables();

}  // namespace

std::uint16_t Crc16(const std::uint8_t* bytes, std::size_t count) {
    const auto& t = CrcTables;
    unsigned crc = 0xFFFFu;
    std::size_t i = 0;
    // The running checksum enters through the first two bytes of each
    // group of eight.
    for (; i + 8 <= count; i += 8) {
        const std::uint8_t* b = bytes + i;
        crc = t[7][(crc >> 8) ^ b[0]] ^ t[6][(crc & 0xFFu) ^ b[1]] ^ t[5][b[2]] ^ t[4][b[3]] ^ t[3][b[4]] ^ t[2][b[5]] ^
              t[1][b[6]] ^ t[0][b[7]];
    }
    for (; i < count; ++i) crc = ((crc << 8) & 0xFFFFu) ^ t[0][((crc >> 8) ^ bytes[i]) & 0xFFu];
    return static_cast<std::uint16_t>(crc);
}

}  // namespace vm
