#include "support/gzip/crc32.h"

#include <array>

namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;
constexpr int kSlices = 8;

using CrcTables = std::array<std::array<uint32_t, 256>, kSlices>;

// Table k maps a byte to its contribution k bytes further down the stream, so
// eight input bytes fold into the register per step instead of one.
constexpr CrcTables MakeTables()
{
    CrcTables tables{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
        tables[0][n] = c;
    }
    for (uint32_t n = 0; n < 256; ++n)
        for (int k = 1; k < kSlices; ++k)
            tables[k][n] = (tables[k - 1][n] >> 8) ^ tables[0][tables[k - 1][n] & 0xFF];
    return tables;
}

constexpr CrcTables kTables = MakeTables();

uint32_t Load32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

uint32_t Crc32Update(uint32_t crc, const uint8_t* data, size_t length)
{
    while (length >= kSlices) {
        uint32_t low = crc ^ Load32(data);
        uint32_t high = Load32(data + 4);
        crc = kTables[7][low & 0xFF] ^ kTables[6][(low >> 8) & 0xFF] ^
              kTables[5][(low >> 16) & 0xFF] ^ kTables[4][low >> 24] ^
              kTables[3][high & 0xFF] ^ kTables[2][(high >> 8) & 0xFF] ^
              kTables[1][(high >> 16) & 0xFF] ^ kTables[0][high >> 24];
        data += kSlices;
        length -= kSlices;
    }
    while (length--)
        crc = (crc >> 8) ^ kTables[0][(crc ^ *data++) & 0xFF];
    return crc;
}
