#pragma once
// Prefix codes of the DEFLATE encoder.

#include <cstdint>

namespace zip_engine {

// Which of two symbols of equal frequency gets the longer code.
enum class TieOrder { LowSymbolsLonger, HighSymbolsLonger };

// Code lengths for the given symbol frequencies, none longer than maxBits.
// The code is always complete and has at least two codes, the shape every
// decoder accepts, even when fewer than two symbols occur.
void BuildCodeLengths(const uint32_t* frequencies, int symbols, int maxBits, TieOrder ties,
                      uint8_t* lengths);

// Canonical codes for the lengths (RFC 1951 3.2.2), bit-reversed because
// DEFLATE sends Huffman codes starting with their most significant bit.
void BuildCanonicalCodes(const uint8_t* lengths, int symbols, uint16_t* codes);

} // namespace zip_engine
