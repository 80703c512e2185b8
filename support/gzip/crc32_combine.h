#pragma once
// The CRC-32 of two pieces of data joined, from the CRC-32 of each and the
// length of the second, without reading the data again.

#include <cstdint>

uint32_t Crc32Combine(uint32_t first, uint32_t second, uint64_t secondLength);
