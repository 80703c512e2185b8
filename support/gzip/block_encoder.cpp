#include "support/gzip/block_encoder.h"

#include "support/gzip/deflate_format.h"
#include "support/gzip/huffman_code.h"
#include "support/gzip/zip_io.h"

#include <algorithm>
#include <array>

namespace zip_engine {

namespace {

constexpr int kSymbolBufferSize = 32768;
constexpr unsigned kMaxBlockSymbols = kSymbolBufferSize - 1;
// How often a block's worth of symbols is weighed for an early end.
constexpr unsigned kBlockCheckInterval = 4096;
// Bytes a stored block adds: LEN and NLEN.
constexpr unsigned kStoredOverhead = 4;
constexpr int kBlockHeaderBits = 3;
// Dynamic header: HLIT, HDIST, HCLEN fields and 3 bits per code-length length.
constexpr int kDynamicCountBits = 5 + 5 + 4;
constexpr int kCodeLengthLengthBits = 3;
constexpr int kMinCodeLengthCodes = 4;
constexpr int kMaxRepeatPrevious = 6;
constexpr int kMaxRepeatZeros = 10;
constexpr int kMaxRepeatManyZeros = 138;
constexpr int kMinRepeat = 3;
constexpr int kMinManyZeros = 11;
// Estimated bits of a distance code without its extra bits.
constexpr unsigned kEstimatedDistanceBits = 5;

// Length code (0..28) of every match length minus kMinMatch.
constexpr std::array<uint8_t, kMaxMatch - kMinMatch + 1> MakeLengthCodes()
{
    std::array<uint8_t, kMaxMatch - kMinMatch + 1> codes{};
    for (int code = 0; code < kLengthCodes; ++code)
        for (int n = 0; n < (1 << kLengthExtra[code]); ++n)
            codes[kLengthBase[code] - kMinMatch + n] = static_cast<uint8_t>(code);
    // 258 has a code of its own, not the last one of code 27.
    codes[kMaxMatch - kMinMatch] = kLengthCodes - 1;
    return codes;
}

// Distance code of distances 1..256 by distance - 1, and of longer ones by
// (distance - 1) >> 7.
constexpr int kNearDistances = 256;
constexpr int kFarShift = 7;
constexpr std::array<uint8_t, 2 * kNearDistances> MakeDistanceCodes()
{
    std::array<uint8_t, 2 * kNearDistances> codes{};
    for (int code = 0; code < kDistanceCodes; ++code) {
        for (int n = 0; n < (1 << kDistanceExtra[code]); ++n) {
            int d = kDistanceBase[code] - 1 + n;
            if (d < kNearDistances)
                codes[d] = static_cast<uint8_t>(code);
            else
                codes[kNearDistances + (d >> kFarShift)] = static_cast<uint8_t>(code);
        }
    }
    return codes;
}

constexpr auto kLengthCodeOf = MakeLengthCodes();
constexpr auto kDistanceCodeOf = MakeDistanceCodes();

int DistanceCode(unsigned distance)
{
    unsigned d = distance - 1;
    return d < kNearDistances ? kDistanceCodeOf[d] : kDistanceCodeOf[kNearDistances + (d >> kFarShift)];
}

// ---- State -------------------------------------------------------------------

bool g_endsEarly;

// The current block: each symbol is a literal (distance 0) or a match.
uint8_t g_symbolLiterals[kSymbolBufferSize];  // literal, or match length - kMinMatch
uint16_t g_symbolDistances[kSymbolBufferSize];
unsigned g_symbolCount;
unsigned g_matchCount;
unsigned g_blockBytes;
uint32_t g_litLenFrequency[kLitLenCodes];
uint32_t g_distanceFrequency[kDistanceCodes];

uint16_t g_fixedLitLenCodes[kFixedLitLenCodes];
uint8_t g_fixedLitLenLengths[kFixedLitLenCodes];
uint16_t g_fixedDistanceCodes[kDistanceCodes];
uint8_t g_fixedDistanceLengths[kDistanceCodes];

uint64_t g_bitBuffer;
unsigned g_bitCount;

// ---- Bit output --------------------------------------------------------------

constexpr unsigned kBitFlushThreshold = 32;

void PutBits(unsigned value, unsigned count)
{
    g_bitBuffer |= uint64_t(value) << g_bitCount;
    g_bitCount += count;
    if (g_bitCount >= kBitFlushThreshold) {
        uint8_t bytes[4] = {uint8_t(g_bitBuffer), uint8_t(g_bitBuffer >> 8),
                            uint8_t(g_bitBuffer >> 16), uint8_t(g_bitBuffer >> 24)};
        PutBytes(bytes, sizeof bytes);
        g_bitBuffer >>= kBitFlushThreshold;
        g_bitCount -= kBitFlushThreshold;
    }
}

void AlignToByte()
{
    while (g_bitCount > 0) {
        PutByte(static_cast<uint8_t>(g_bitBuffer));
        g_bitBuffer >>= 8;
        g_bitCount = g_bitCount > 8 ? g_bitCount - 8 : 0;
    }
    g_bitBuffer = 0;
}

// ---- Blocks ---------------------------------------------------------------------

void ResetBlock()
{
    g_symbolCount = 0;
    g_matchCount = 0;
    g_blockBytes = 0;
    std::fill(g_litLenFrequency, g_litLenFrequency + kLitLenCodes, 0);
    std::fill(g_distanceFrequency, g_distanceFrequency + kDistanceCodes, 0);
}

// True when the block should end: it is full, or (when enabled) it is mostly
// literals and already compresses to less than half.
bool BlockShouldEnd()
{
    if (g_symbolCount == kMaxBlockSymbols)
        return true;
    if (!g_endsEarly || g_symbolCount % kBlockCheckInterval != 0)
        return false;
    unsigned long estimate = static_cast<unsigned long>(g_symbolCount) * 8;
    for (int code = 0; code < kDistanceCodes; ++code)
        estimate += static_cast<unsigned long>(g_distanceFrequency[code]) *
                    (kEstimatedDistanceBits + kDistanceExtra[code]);
    estimate /= 8;
    return g_matchCount < g_symbolCount / 2 && estimate < g_blockBytes / 2;
}

struct Code {
    const uint16_t* codes;
    const uint8_t* lengths;
};

// Bits the block's symbols (with extra bits and end of block) take in the codes.
unsigned long SymbolBits(Code litLen, Code distance)
{
    unsigned long bits = 0;
    for (int s = 0; s < kLitLenCodes; ++s)
        bits += static_cast<unsigned long>(g_litLenFrequency[s]) * litLen.lengths[s];
    for (int code = 0; code < kLengthCodes; ++code)
        bits += static_cast<unsigned long>(g_litLenFrequency[kEndOfBlock + 1 + code]) * kLengthExtra[code];
    for (int code = 0; code < kDistanceCodes; ++code)
        bits += static_cast<unsigned long>(g_distanceFrequency[code]) *
                (distance.lengths[code] + kDistanceExtra[code]);
    return bits;
}

void SendSymbols(Code litLen, Code distance)
{
    for (unsigned i = 0; i < g_symbolCount; ++i) {
        unsigned value = g_symbolLiterals[i];
        unsigned offset = g_symbolDistances[i];
        if (offset == 0) {
            PutBits(litLen.codes[value], litLen.lengths[value]);
            continue;
        }
        int lengthCode = kLengthCodeOf[value];
        int symbol = kEndOfBlock + 1 + lengthCode;
        PutBits(litLen.codes[symbol], litLen.lengths[symbol]);
        PutBits(value + kMinMatch - kLengthBase[lengthCode], kLengthExtra[lengthCode]);
        int distanceCode = DistanceCode(offset);
        PutBits(distance.codes[distanceCode], distance.lengths[distanceCode]);
        PutBits(offset - kDistanceBase[distanceCode], kDistanceExtra[distanceCode]);
    }
    PutBits(litLen.codes[kEndOfBlock], litLen.lengths[kEndOfBlock]);
}

constexpr int kMaxLengthSequence = kLitLenCodes + kDistanceCodes;

// The code lengths of a dynamic header as code-length symbols.
struct LengthRuns {
    uint8_t symbols[kMaxLengthSequence];
    uint8_t extra[kMaxLengthSequence];
    int count;
    uint8_t codeLengths[kCodeLengthCodes];
    uint16_t codes[kCodeLengthCodes];
    int codeLengthCount;  // HCLEN + 4
    unsigned long bits;   // the header from HLIT on
};

// The dynamic trees of a block and the header that describes them.
struct DynamicCode {
    uint8_t litLenLengths[kLitLenCodes];
    uint16_t litLenCodes[kLitLenCodes];
    uint8_t distanceLengths[kDistanceCodes];
    uint16_t distanceCodes[kDistanceCodes];
    int litLenCount;
    int distanceCount;
    LengthRuns runs;
    unsigned long bits;  // header and symbols
};

DynamicCode g_dynamic;
DynamicCode g_candidateCode;
LengthRuns g_candidateRuns;

int ExtraBitsOfRun(int symbol)
{
    return symbol == kRepeatPrevious ? 2 : symbol == kRepeatZeros ? 3 : symbol == kRepeatManyZeros ? 7 : 0;
}

void AddRun(LengthRuns& runs, int symbol, int extra)
{
    runs.symbols[runs.count] = static_cast<uint8_t>(symbol);
    runs.extra[runs.count] = static_cast<uint8_t>(extra);
    ++runs.count;
}

// A first coding: every run as long as the repeat symbols allow.
void GreedyRuns(const uint8_t* sequence, int total, LengthRuns& runs)
{
    runs.count = 0;
    for (int i = 0; i < total;) {
        int value = sequence[i];
        int run = 1;
        while (i + run < total && sequence[i + run] == value)
            ++run;
        i += run;
        if (value == 0) {
            for (; run >= kMinManyZeros; run -= std::min(run, kMaxRepeatManyZeros))
                AddRun(runs, kRepeatManyZeros, std::min(run, kMaxRepeatManyZeros) - kMinManyZeros);
            if (run >= kMinRepeat) {
                AddRun(runs, kRepeatZeros, run - kMinRepeat);
                run = 0;
            }
        } else {
            AddRun(runs, value, 0);
            --run;
            for (; run >= kMinRepeat; run -= std::min(run, kMaxRepeatPrevious))
                AddRun(runs, kRepeatPrevious, std::min(run, kMaxRepeatPrevious) - kMinRepeat);
        }
        for (; run > 0; --run)
            AddRun(runs, value, 0);
    }
}

// The coding of the sequence that costs least with the runs' current
// code-length code (shortest path over the positions).
void CheapestRuns(const uint8_t* sequence, int total, LengthRuns& runs)
{
    constexpr unsigned kUnusable = 1u << 20;
    unsigned cost[kCodeLengthCodes];
    for (int s = 0; s < kCodeLengthCodes; ++s)
        cost[s] = runs.codeLengths[s] ? runs.codeLengths[s] + ExtraBitsOfRun(s) : kUnusable;

    unsigned best[kMaxLengthSequence + 1];
    uint8_t chosenSymbol[kMaxLengthSequence];
    uint8_t chosenRun[kMaxLengthSequence];
    int sameFrom[kMaxLengthSequence + 1];
    best[total] = 0;
    sameFrom[total] = 0;
    for (int i = total - 1; i >= 0; --i) {
        sameFrom[i] = (i + 1 < total && sequence[i + 1] == sequence[i]) ? sameFrom[i + 1] + 1 : 1;
        auto consider = [&](int symbol, int run) {
            unsigned c = cost[symbol] + best[i + run];
            if (c < best[i]) {
                best[i] = c;
                chosenSymbol[i] = static_cast<uint8_t>(symbol);
                chosenRun[i] = static_cast<uint8_t>(run);
            }
        };
        best[i] = ~0u;
        consider(sequence[i], 1);
        if (sequence[i] == 0) {
            for (int run = kMinRepeat; run <= std::min(sameFrom[i], kMaxRepeatZeros); ++run)
                consider(kRepeatZeros, run);
            for (int run = kMinManyZeros; run <= std::min(sameFrom[i], kMaxRepeatManyZeros); ++run)
                consider(kRepeatManyZeros, run);
        }
        if (i > 0 && sequence[i - 1] == sequence[i])
            for (int run = kMinRepeat; run <= std::min(sameFrom[i], kMaxRepeatPrevious); ++run)
                consider(kRepeatPrevious, run);
    }
    runs.count = 0;
    for (int i = 0; i < total; i += chosenRun[i]) {
        int symbol = chosenSymbol[i];
        int base = symbol == kRepeatManyZeros ? kMinManyZeros : symbol >= kRepeatPrevious ? kMinRepeat : 0;
        AddRun(runs, symbol, symbol >= kRepeatPrevious ? chosenRun[i] - base : 0);
    }
}

// Builds the code-length code for the runs and counts the header's bits.
void MeasureRuns(LengthRuns& runs)
{
    uint32_t frequency[kCodeLengthCodes] = {};
    for (int i = 0; i < runs.count; ++i)
        ++frequency[runs.symbols[i]];
    BuildCodeLengths(frequency, kCodeLengthCodes, kMaxCodeLengthBits, TieOrder::LowSymbolsLonger, runs.codeLengths);
    BuildCanonicalCodes(runs.codeLengths, kCodeLengthCodes, runs.codes);
    runs.codeLengthCount = kCodeLengthCodes;
    while (runs.codeLengthCount > kMinCodeLengthCodes &&
           runs.codeLengths[kCodeLengthOrder[runs.codeLengthCount - 1]] == 0)
        --runs.codeLengthCount;
    runs.bits = kDynamicCountBits + kCodeLengthLengthBits * runs.codeLengthCount;
    for (int s = 0; s < kCodeLengthCodes; ++s)
        runs.bits += static_cast<unsigned long>(frequency[s]) * (runs.codeLengths[s] + ExtraBitsOfRun(s));
}

// Rounds of cheapest coding and code rebuilding; each round rarely gains
// more than a few bits after the second.
constexpr int kRunCodingRounds = 3;

// Codes of the block's frequencies with the header that describes them.
void BuildDynamicCode(DynamicCode& code, TieOrder ties)
{
    BuildCodeLengths(g_litLenFrequency, kLitLenCodes, kMaxCodeBits, ties, code.litLenLengths);
    BuildCanonicalCodes(code.litLenLengths, kLitLenCodes, code.litLenCodes);
    BuildCodeLengths(g_distanceFrequency, kDistanceCodes, kMaxCodeBits, ties, code.distanceLengths);
    BuildCanonicalCodes(code.distanceLengths, kDistanceCodes, code.distanceCodes);

    code.litLenCount = kLitLenCodes;
    while (code.litLenCount > kEndOfBlock + 1 && code.litLenLengths[code.litLenCount - 1] == 0)
        --code.litLenCount;
    code.distanceCount = kDistanceCodes;
    while (code.distanceCount > 1 && code.distanceLengths[code.distanceCount - 1] == 0)
        --code.distanceCount;

    // Both codes' lengths form one sequence; runs may cross from one to the other.
    uint8_t sequence[kMaxLengthSequence];
    std::copy(code.litLenLengths, code.litLenLengths + code.litLenCount, sequence);
    std::copy(code.distanceLengths, code.distanceLengths + code.distanceCount, sequence + code.litLenCount);
    int total = code.litLenCount + code.distanceCount;

    GreedyRuns(sequence, total, code.runs);
    MeasureRuns(code.runs);
    g_candidateRuns = code.runs;
    for (int round = 0; round < kRunCodingRounds; ++round) {
        CheapestRuns(sequence, total, g_candidateRuns);
        MeasureRuns(g_candidateRuns);
        if (g_candidateRuns.bits >= code.runs.bits)
            break;
        code.runs = g_candidateRuns;
    }
    code.bits = code.runs.bits + SymbolBits(Code{code.litLenCodes, code.litLenLengths},
                                            Code{code.distanceCodes, code.distanceLengths});
}

// Symbols of equal frequency may trade code lengths without changing the
// data's size, but the header's runs change: the cheaper of two orders wins.
const DynamicCode& BestDynamicCode()
{
    BuildDynamicCode(g_dynamic, TieOrder::LowSymbolsLonger);
    BuildDynamicCode(g_candidateCode, TieOrder::HighSymbolsLonger);
    return g_candidateCode.bits < g_dynamic.bits ? g_candidateCode : g_dynamic;
}

void SendDynamicHeader(const DynamicCode& code)
{
    const LengthRuns& runs = code.runs;
    PutBits(code.litLenCount - (kEndOfBlock + 1), 5);
    PutBits(code.distanceCount - 1, 5);
    PutBits(runs.codeLengthCount - kMinCodeLengthCodes, 4);
    for (int i = 0; i < runs.codeLengthCount; ++i)
        PutBits(runs.codeLengths[kCodeLengthOrder[i]], kCodeLengthLengthBits);
    for (int i = 0; i < runs.count; ++i) {
        int symbol = runs.symbols[i];
        PutBits(runs.codes[symbol], runs.codeLengths[symbol]);
        PutBits(runs.extra[i], ExtraBitsOfRun(symbol));
    }
}

void SendStoredBlocks(const uint8_t* data, bool last)
{
    unsigned left = g_blockBytes;
    do {
        unsigned part = std::min<unsigned>(left, kMaxStoredLength);
        left -= part;
        PutBits((last && left == 0) ? 1 : 0, 1);
        PutBits(kStoredBlock, 2);
        AlignToByte();
        PutBits(part, 16);
        PutBits(part ^ 0xFFFF, 16);
        AlignToByte();
        PutBytes(data, part);
        data += part;
    } while (left > 0);
}

} // namespace

void BeginBlocks(bool endsEarly)
{
    g_endsEarly = endsEarly;
    g_bitBuffer = 0;
    g_bitCount = 0;
    ResetBlock();
    for (int s = 0; s < kFixedLitLenCodes; ++s)
        g_fixedLitLenLengths[s] = FixedLitLenLength(s);
    BuildCanonicalCodes(g_fixedLitLenLengths, kFixedLitLenCodes, g_fixedLitLenCodes);
    std::fill(g_fixedDistanceLengths, g_fixedDistanceLengths + kDistanceCodes, kFixedDistanceLength);
    BuildCanonicalCodes(g_fixedDistanceLengths, kDistanceCodes, g_fixedDistanceCodes);
}

bool TallyLiteral(uint8_t literal)
{
    g_symbolLiterals[g_symbolCount] = literal;
    g_symbolDistances[g_symbolCount] = 0;
    ++g_symbolCount;
    ++g_blockBytes;
    ++g_litLenFrequency[literal];
    return BlockShouldEnd();
}

bool TallyMatch(unsigned distance, unsigned length)
{
    g_symbolLiterals[g_symbolCount] = static_cast<uint8_t>(length - kMinMatch);
    g_symbolDistances[g_symbolCount] = static_cast<uint16_t>(distance);
    ++g_symbolCount;
    ++g_matchCount;
    g_blockBytes += length;
    ++g_litLenFrequency[kEndOfBlock + 1 + kLengthCodeOf[length - kMinMatch]];
    ++g_distanceFrequency[DistanceCode(distance)];
    return BlockShouldEnd();
}

unsigned FlushBlock(const uint8_t* data, bool last)
{
    Code fixedLitLen{g_fixedLitLenCodes, g_fixedLitLenLengths};
    Code fixedDistance{g_fixedDistanceCodes, g_fixedDistanceLengths};
    ++g_litLenFrequency[kEndOfBlock];

    const DynamicCode& dynamic = BestDynamicCode();
    Code dynamicLitLen{dynamic.litLenCodes, dynamic.litLenLengths};
    Code dynamicDistance{dynamic.distanceCodes, dynamic.distanceLengths};
    unsigned long dynamicBytes = (dynamic.bits + kBlockHeaderBits + 7) / 8;
    unsigned long fixedBytes = (SymbolBits(fixedLitLen, fixedDistance) + kBlockHeaderBits + 7) / 8;
    unsigned long bestBytes = std::min(dynamicBytes, fixedBytes);

    if (g_blockBytes + kStoredOverhead <= bestBytes && data) {
        SendStoredBlocks(data, last);
    } else if (fixedBytes == bestBytes) {
        PutBits(last ? 1 : 0, 1);
        PutBits(kFixedBlock, 2);
        SendSymbols(fixedLitLen, fixedDistance);
    } else {
        PutBits(last ? 1 : 0, 1);
        PutBits(kDynamicBlock, 2);
        SendDynamicHeader(dynamic);
        SendSymbols(dynamicLitLen, dynamicDistance);
    }
    unsigned bytes = g_blockBytes;
    ResetBlock();
    if (last)
        AlignToByte();
    return bytes;
}

void AlignWithEmptyBlock()
{
    PutBits(0, 1);
    PutBits(kStoredBlock, 2);
    AlignToByte();
    PutBits(0, 16);
    PutBits(0xFFFF, 16);
    AlignToByte();
}

} // namespace zip_engine
