#include "support/gzip/crc32_combine.h"

namespace {

// Polynomials modulo the CRC-32 generator, in the reflected bit order of the
// register: bit 31 holds x^0.
constexpr uint32_t kGenerator = 0xEDB88320u;
constexpr uint32_t kOne = 0x80000000u;
constexpr uint32_t kXToThe8 = kOne >> 8;

uint32_t MultiplyModGenerator(uint32_t a, uint32_t b)
{
    uint32_t product = 0;
    for (uint32_t bit = kOne; bit != 0; bit >>= 1) {
        if (a & bit)
            product ^= b;
        b = (b & 1) ? (b >> 1) ^ kGenerator : b >> 1;
    }
    return product;
}

} // namespace

// CRC(AB) = CRC(A) * x^(8 |B|) + CRC(B) modulo the generator; the register's
// preset and final inversion cancel out.
uint32_t Crc32Combine(uint32_t first, uint32_t second, uint64_t secondLength)
{
    uint32_t shift = kOne;
    uint32_t square = kXToThe8;
    for (uint64_t n = secondLength; n != 0; n >>= 1) {
        if (n & 1)
            shift = MultiplyModGenerator(shift, square);
        square = MultiplyModGenerator(square, square);
    }
    return MultiplyModGenerator(first, shift) ^ second;
}
