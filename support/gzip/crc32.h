#pragma once
#include <cstddef>
#include <cstdint>

// CRC-32 of the gzip trailer (reflected polynomial 0xEDB88320). The caller
// keeps the register: start with kCrc32Initial, feed data, finish with
// Crc32Final.
constexpr uint32_t kCrc32Initial = 0xFFFFFFFFu;

uint32_t Crc32Update(uint32_t crc, const uint8_t* data, size_t length);

constexpr uint32_t Crc32Final(uint32_t crc) { return crc ^ 0xFFFFFFFFu; }
