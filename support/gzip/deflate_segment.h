#pragma once
// DEFLATE segments: one file's data compressed on its own into blocks that
// are not marked last and end on a byte boundary (an empty stored block
// closes them). Segments compressed apart, even at the same time in
// different processes, join by plain concatenation into one DEFLATE stream
// that kLastEmptyBlock ends, so one gzip member can be assembled from pieces
// that were each compressed once.

#include <cstdint>
#include <string>

#include "support/gzip/zip_codec.h"

// A fixed-Huffman block marked last that holds only its end code.
constexpr uint8_t kLastEmptyBlock[] = {0x03, 0x00};
// A segment file ends with the CRC-32 and the length of the data it holds,
// 4 bytes each, little-endian, as a gzip trailer.
constexpr size_t kSegmentTrailerSize = 8;

// Compresses the source into a segment file at the codec's level 9. Throws
// CZipException as CZip does; a target created before a failure stays.
void WriteSegmentFile(const ZipPath& source, const ZipPath& target);

// The header CZip writes for a file of this name (folders stripped by the
// caller) and time stamp (seconds since 1970).
std::string GzipMemberHeader(const std::string& name, uint32_t time);
