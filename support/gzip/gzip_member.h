#pragma once
// The gzip member (RFC 1952) around a DEFLATE stream, and the first entry of
// a ZIP archive, on the engine's buffered I/O.

#include <cstdint>

#include "support/gzip/zip_io.h"

namespace zip_engine {

// Writes one gzip member of the whole input: header with the stripped
// HeaderName(), the DEFLATE stream at `level`, CRC and length. A level
// outside 1..9 ends in the engine abort.
void WriteMember(ZipSource& input, ZipSink& output, int level, uint32_t time);

// Reads the header of a gzip member or of a ZIP archive's first entry.
// Returns the compression method found, or -1 when the header is refused.
int ReadMemberHeader(ZipSource& input);

// Decodes the member whose header was just read and checks its CRC and
// length. Returns -1 when a ZIP archive holds more entries (the first one has
// been written by then); data errors end in the engine abort.
int DecodeMember(ZipSink& output);

// Time stamp of the member just read, 0 when it carries none.
uint32_t MemberTime();

// CUnzip's work between its files: the header, then the member. 0 when the
// output is complete, -1 when the input was refused (as ReadMemberHeader and
// DecodeMember); data errors end in the engine abort.
int UnzipMember(ZipSource& input, ZipSink& output);

} // namespace zip_engine
