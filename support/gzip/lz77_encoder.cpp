#include "support/gzip/lz77_encoder.h"

#include "support/gzip/block_encoder.h"
#include "support/gzip/crc32.h"
#include "support/gzip/deflate_format.h"
#include "support/gzip/zip_io.h"

#include <algorithm>
#include <cstring>

namespace zip_engine {

namespace {

constexpr int kWindowBufferSize = 2 * kWindowSize;
constexpr unsigned kWindowMask = kWindowSize - 1;
constexpr int kHashBits = 15;
constexpr unsigned kHashSize = 1u << kHashBits;
constexpr unsigned kHashMask = kHashSize - 1;
// Three shifts push a byte out of the hash, so it covers exactly kMinMatch bytes.
constexpr int kHashShift = 5;
// Lookahead that guarantees a full-length match plus the next hash.
constexpr unsigned kMinLookahead = kMaxMatch + kMinMatch + 1;
// Matches reach back no further, so a match never touches the slid-out half.
constexpr unsigned kMaxDistance = kWindowSize - kMinLookahead;
// A three-byte match further back costs more than three literals.
constexpr unsigned kTooFar = 4096;
// Hash heads and chains use 0 for "none": position 0 is never a match source.
constexpr uint16_t kNoPosition = 0;

// Above this level a block may also end early (see BeginBlocks).
constexpr int kLastCheaplyEndedLevel = 2;
constexpr int kLastGreedyLevel = 3;

struct LevelConfig {
    unsigned good;   // a pending match this long cuts the chain walk to a quarter
    unsigned lazy;   // lazy levels: no search after a match this long;
                     // greedy levels: longest match whose strings are hashed
    unsigned nice;   // a match this long ends the chain walk
    unsigned chain;  // candidates looked at per search
};

constexpr LevelConfig kLevels[kMaxLevel + 1] = {
    {0, 0, 0, 0},
    {4, 4, 8, 4},
    {4, 5, 16, 8},
    {4, 6, 32, 32},
    {4, 4, 16, 16},
    {8, 16, 32, 32},
    {8, 16, 128, 128},
    {8, 32, 128, 256},
    {32, 128, 258, 1024},
    {32, 258, 258, 4096},
};

// ---- State -------------------------------------------------------------------

LevelConfig g_config;

ZipSource* g_source;
bool g_inputEnded;
uint32_t g_crc;
uint32_t g_inputLength;

uint8_t g_window[kWindowBufferSize];
uint16_t g_head[kHashSize];
uint16_t g_prev[kWindowSize];
unsigned g_hash;
unsigned g_strStart;
unsigned g_lookahead;
unsigned g_matchStart;
// Window position of the current block's first byte; negative once slid out.
long g_blockStart;

// ---- Window --------------------------------------------------------------------

void SlideWindow()
{
    std::memcpy(g_window, g_window + kWindowSize, kWindowSize);
    g_matchStart -= kWindowSize;
    g_strStart -= kWindowSize;
    g_blockStart -= kWindowSize;
    auto lower = [](uint16_t& position) {
        position = position >= kWindowSize ? static_cast<uint16_t>(position - kWindowSize) : kNoPosition;
    };
    std::for_each(g_head, g_head + kHashSize, lower);
    std::for_each(g_prev, g_prev + kWindowSize, lower);
}

// Reads until the window's end is reached or the input ends, first moving the
// upper half down when the position has run far enough into it.
void FillWindow()
{
    if (g_strStart >= kWindowSize + kMaxDistance)
        SlideWindow();
    if (g_inputEnded)
        return;
    uint8_t* to = g_window + g_strStart + g_lookahead;
    size_t room = kWindowBufferSize - g_strStart - g_lookahead;
    size_t got = ReadFully(*g_source, to, room);
    g_inputEnded = got < room;
    g_crc = Crc32Update(g_crc, to, got);
    g_inputLength += static_cast<uint32_t>(got);
    g_lookahead += static_cast<unsigned>(got);
}

unsigned UpdateHash(unsigned hash, uint8_t next)
{
    return ((hash << kHashShift) ^ next) & kHashMask;
}

// Enters the string at `position` into the hash; returns the previous
// position with the same hash.
unsigned InsertString(unsigned position)
{
    g_hash = UpdateHash(g_hash, g_window[position + kMinMatch - 1]);
    unsigned previous = g_head[g_hash];
    g_prev[position & kWindowMask] = static_cast<uint16_t>(previous);
    g_head[g_hash] = static_cast<uint16_t>(position);
    return previous;
}

uint64_t Load64(const uint8_t* p)
{
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | p[i];
    return value;
}

// Length of the common prefix of a and b, at most `limit`.
unsigned CommonLength(const uint8_t* a, const uint8_t* b, unsigned limit)
{
    unsigned length = 0;
    while (length + 8 <= limit) {
        uint64_t difference = Load64(a + length) ^ Load64(b + length);
        if (difference) {
            while (!(difference & 0xFF)) {
                difference >>= 8;
                ++length;
            }
            return length;
        }
        length += 8;
    }
    while (length < limit && a[length] == b[length])
        ++length;
    return length;
}

// Walks the hash chain from `candidate` for a match longer than `best`;
// a longer one found sets g_matchStart. Returns the best length.
unsigned LongestMatch(unsigned candidate, unsigned best)
{
    unsigned limit = std::min<unsigned>(kMaxMatch, g_lookahead);
    if (best >= limit)
        return best;
    unsigned nice = std::min(g_config.nice, limit);
    unsigned chain = g_config.chain;
    if (best >= g_config.good)
        chain >>= 2;
    unsigned oldest = g_strStart > kMaxDistance ? g_strStart - kMaxDistance : kNoPosition;
    const uint8_t* scan = g_window + g_strStart;
    do {
        const uint8_t* match = g_window + candidate;
        // Only a candidate that could beat `best` is measured.
        if (match[best] != scan[best] || match[best - 1] != scan[best - 1] || match[0] != scan[0] ||
            match[1] != scan[1])
            continue;
        unsigned length = CommonLength(match, scan, limit);
        if (length > best) {
            g_matchStart = candidate;
            best = length;
            if (length >= nice)
                break;
        }
    } while ((candidate = g_prev[candidate & kWindowMask]) > oldest && --chain != 0);
    return best;
}

// Best match for the string at g_strStart, or kMinMatch - 1.
unsigned FindMatch(unsigned head, unsigned pending)
{
    if (head == kNoPosition || g_strStart - head > kMaxDistance)
        return pending;
    return LongestMatch(head, pending);
}

// Ends the current block, handing the encoder its bytes while the window
// still holds them.
void EndBlock(bool last)
{
    const uint8_t* data = g_blockStart >= 0 ? g_window + g_blockStart : nullptr;
    g_blockStart += FlushBlock(data, last);
}

// ---- Matching -------------------------------------------------------------------

// Levels 1 to 3: a match is taken at once.
void CompressGreedy()
{
    for (;;) {
        if (g_lookahead < kMinLookahead) {
            FillWindow();
            if (g_lookahead == 0)
                return;
        }
        unsigned head = InsertString(g_strStart);
        unsigned length = FindMatch(head, kMinMatch - 1);
        bool blockEnds;
        if (length >= kMinMatch) {
            blockEnds = TallyMatch(g_strStart - g_matchStart, length);
            g_lookahead -= length;
            if (length <= g_config.lazy) {
                for (unsigned n = length - 1; n > 0; --n)
                    InsertString(++g_strStart);
                ++g_strStart;
            } else {
                // Long matches are skipped unhashed; the hash restarts after them.
                g_strStart += length;
                g_hash = UpdateHash(g_window[g_strStart], g_window[g_strStart + 1]);
            }
        } else {
            blockEnds = TallyLiteral(g_window[g_strStart]);
            --g_lookahead;
            ++g_strStart;
        }
        if (blockEnds)
            EndBlock(false);
    }
}

// Levels 4 to 9: a match is held back for one position and dropped if the
// next position starts a longer one.
void CompressLazy()
{
    unsigned length = kMinMatch - 1;
    bool literalPending = false;
    for (;;) {
        if (g_lookahead < kMinLookahead) {
            FillWindow();
            if (g_lookahead == 0)
                break;
        }
        unsigned head = InsertString(g_strStart);
        unsigned pendingLength = length;
        unsigned pendingStart = g_matchStart;
        length = kMinMatch - 1;
        if (pendingLength < g_config.lazy) {
            length = FindMatch(head, pendingLength);
            if (length == kMinMatch && g_strStart - g_matchStart > kTooFar)
                length = kMinMatch - 1;
        }
        if (pendingLength >= kMinMatch && length <= pendingLength) {
            bool blockEnds = TallyMatch(g_strStart - 1 - pendingStart, pendingLength);
            // The match began one position back; hash the rest of its strings.
            g_lookahead -= pendingLength - 1;
            for (unsigned n = pendingLength - 2; n > 0; --n)
                InsertString(++g_strStart);
            ++g_strStart;
            literalPending = false;
            length = kMinMatch - 1;
            if (blockEnds)
                EndBlock(false);
        } else {
            if (literalPending && TallyLiteral(g_window[g_strStart - 1]))
                EndBlock(false);
            literalPending = true;
            ++g_strStart;
            --g_lookahead;
        }
    }
    if (literalPending)
        TallyLiteral(g_window[g_strStart - 1]);
}

} // namespace

DeflateResult Deflate(ZipSource& input, int level, bool final)
{
    g_config = kLevels[level];
    g_source = &input;
    g_inputEnded = false;
    g_crc = kCrc32Initial;
    g_inputLength = 0;
    // A clean window keeps the output independent of earlier operations.
    std::memset(g_window, 0, sizeof g_window);
    std::fill(g_head, g_head + kHashSize, kNoPosition);
    g_strStart = 0;
    g_lookahead = 0;
    g_matchStart = 0;
    g_blockStart = 0;
    BeginBlocks(level > kLastCheaplyEndedLevel);

    FillWindow();
    g_hash = UpdateHash(g_window[0], g_window[1]);
    if (level <= kLastGreedyLevel)
        CompressGreedy();
    else
        CompressLazy();
    EndBlock(final);
    if (!final)
        AlignWithEmptyBlock();
    return DeflateResult{Crc32Final(g_crc), g_inputLength};
}

} // namespace zip_engine
