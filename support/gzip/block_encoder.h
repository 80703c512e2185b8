#pragma once
// DEFLATE blocks (RFC 1951): the symbols of the current block, and its end
// as a stored, fixed or dynamic block, whichever is smallest, written through
// the engine's output buffer.

#include <cstdint>

namespace zip_engine {

// Starts a stream. With `endsEarly` a block of mostly literals also ends at
// every 4096th symbol once it compresses to less than half its bytes.
void BeginBlocks(bool endsEarly);

// Add a symbol to the block; true when the block should end now.
bool TallyLiteral(uint8_t literal);
bool TallyMatch(unsigned distance, unsigned length);

// Writes the block and starts the next one; returns the block's input bytes.
// `data` holds those bytes, or is null when they are no longer at hand (then
// the block is not stored). The last block ends on a byte boundary.
unsigned FlushBlock(const uint8_t* data, bool last);
// Ends the output on a byte boundary with an empty stored block that is not
// the last one.
void AlignWithEmptyBlock();

} // namespace zip_engine
