#pragma once
// The DEFLATE encoder's front: the sliding window, hash chains and the
// greedy (levels 1-3) or lazy (levels 4-9) choice of matches.

#include <cstdint>

#include "support/gzip/zip_io.h"

namespace zip_engine {

constexpr int kMinLevel = 1;
constexpr int kMaxLevel = 9;

struct DeflateResult {
    uint32_t crc;     // CRC-32 of the input
    uint32_t length;  // input length modulo 2^32
};

// Compresses everything the source holds into one DEFLATE stream
// (RFC 1951) through the engine's output buffer, ending on a byte boundary.
// `level` lies in kMinLevel..kMaxLevel. Without `final` the last block is
// not marked last and an empty stored block aligns the end instead, so the
// output can be followed by more blocks.
DeflateResult Deflate(ZipSource& input, int level, bool final = true);

} // namespace zip_engine
