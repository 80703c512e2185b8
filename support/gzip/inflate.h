#pragma once

namespace zip_engine {

// Decodes one DEFLATE stream (RFC 1951) from the engine's input buffer into
// WriteDecoded. Afterwards the input cursor stands right after the stream.
// Corrupt data ends in the engine abort.
void Inflate();

} // namespace zip_engine
