#include "support/gzip/inflate.h"

#include "support/gzip/deflate_format.h"
#include "support/gzip/zip_io.h"

#include <algorithm>
#include <cstring>

namespace zip_engine {

namespace {

// A decoding table entry. Codes are looked up by their next `root` bits; codes
// longer than that continue in a second-level table.
struct Entry {
    uint16_t value;  // literal byte, length or distance base, or link offset
    uint8_t op;      // kOp... below
    uint8_t bits;    // code bits this entry consumes
};

constexpr uint8_t kOpLiteral = 0x00;
constexpr uint8_t kOpBase = 0x10;      // | extra bits; value is the base
constexpr uint8_t kOpEnd = 0x20;
constexpr uint8_t kOpLink = 0x40;      // | second-level index bits
constexpr uint8_t kOpInvalid = 0x80;
constexpr uint8_t kOpFieldMask = 0x0F;

constexpr int kLitLenRootBits = 9;
constexpr int kDistanceRootBits = 6;
constexpr int kCodeLengthRootBits = 7;
// Root table plus room for second-level tables; the builder refuses a code
// that would not fit, so a hostile header cannot overrun them.
constexpr int kLitLenTableSize = 2048;
constexpr int kDistanceTableSize = 1024;
constexpr int kCodeLengthTableSize = 1 << kCodeLengthRootBits;

// Output collects in the upper half; after each write-out the lower half keeps
// the last 32 KiB, so a back-reference never wraps. The slack takes the
// overrun of eight-byte copies.
constexpr int kCopyChunk = 8;
constexpr int kOutputStart = kWindowSize;
constexpr int kOutputEnd = 2 * kWindowSize;

// Bits in the bit buffer before a symbol is decoded: the longest length
// symbol with extras and distance with extras take 15 + 5 + 15 + 13.
constexpr unsigned kSymbolBits = 48;

const char kFormatViolated[] = "invalid compressed data--format violated";

struct Table {
    Entry* entries;
    int rootBits;
};

uint8_t g_window[kOutputEnd + kCopyChunk];
int g_outPos;
bool g_windowFull;

Entry g_litLenEntries[kLitLenTableSize];
Entry g_distanceEntries[kDistanceTableSize];
Entry g_codeLengthEntries[kCodeLengthTableSize];
Entry g_fixedLitLenEntries[kLitLenTableSize];
Entry g_fixedDistanceEntries[kDistanceTableSize];
bool g_fixedTablesBuilt;

uint64_t g_bits;
unsigned g_bitCount;
const uint8_t* g_in;
const uint8_t* g_inEnd;

[[noreturn]] void Invalid()
{
    Fail(kFormatViolated);
}

// ---- Input bits ------------------------------------------------------------

uint64_t Load64(const uint8_t* p)
{
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | p[i];
    return value;
}

// Tops the bit buffer up to at least 56 bits, or to what is left at the end of
// the input; missing bits read as zero.
void Refill()
{
    if (g_inEnd - g_in >= 8) {
        g_bits |= Load64(g_in) << g_bitCount;
        g_in += (63 - g_bitCount) >> 3;
        g_bitCount |= 56;
        return;
    }
    while (g_bitCount <= 56) {
        if (g_in == g_inEnd) {
            SetInputCursor(g_in);
            bool more = FillInput();
            // The refill moves the buffered bytes even when none arrive.
            g_in = InputCursor();
            g_inEnd = InputEnd();
            if (!more)
                return;
        }
        g_bits |= uint64_t(*g_in++) << g_bitCount;
        g_bitCount += 8;
    }
}

void Consume(unsigned count)
{
    if (count > g_bitCount)
        FailAtEndOfInput();
    g_bits >>= count;
    g_bitCount -= count;
}

unsigned TakeBits(unsigned count)
{
    if (g_bitCount < count)
        Refill();
    unsigned value = static_cast<unsigned>(g_bits & ((uint64_t(1) << count) - 1));
    Consume(count);
    return value;
}

// Returns the whole bytes still in the bit buffer to the input.
void GiveBackBytes()
{
    g_bits = 0;
    g_in -= g_bitCount >> 3;
    g_bitCount = 0;
    SetInputCursor(g_in);
}

// ---- Decoding tables ---------------------------------------------------------

using LeafMaker = Entry (*)(int symbol);

Entry LitLenLeaf(int symbol)
{
    if (symbol < kLiteralCount)
        return Entry{static_cast<uint16_t>(symbol), kOpLiteral, 0};
    if (symbol == kEndOfBlock)
        return Entry{0, kOpEnd, 0};
    int code = symbol - kEndOfBlock - 1;
    if (code >= kLengthCodes)
        return Entry{0, kOpInvalid, 0};
    return Entry{kLengthBase[code], static_cast<uint8_t>(kOpBase | kLengthExtra[code]), 0};
}

Entry DistanceLeaf(int symbol)
{
    if (symbol >= kDistanceCodes)
        return Entry{0, kOpInvalid, 0};
    return Entry{kDistanceBase[symbol], static_cast<uint8_t>(kOpBase | kDistanceExtra[symbol]), 0};
}

Entry CodeLengthLeaf(int symbol)
{
    return Entry{static_cast<uint16_t>(symbol), kOpLiteral, 0};
}

unsigned Reverse(unsigned code, int length)
{
    unsigned reversed = 0;
    for (int i = 0; i < length; ++i, code >>= 1)
        reversed = reversed << 1 | (code & 1);
    return reversed;
}

enum class CodeShape { Complete, Single, Empty, Incomplete, Invalid };

// Builds the table of the canonical code with the given lengths (RFC 1951
// 3.2.2). Entries no code reaches stay invalid.
CodeShape BuildTable(const uint8_t* lengths, int symbols, LeafMaker leaf, Table table, int capacity)
{
    int count[kMaxCodeBits + 1] = {};
    for (int s = 0; s < symbols; ++s)
        ++count[lengths[s]];
    count[0] = 0;

    int left = 1;
    int codes = 0;
    int maxLength = 0;
    for (int length = 1; length <= kMaxCodeBits; ++length) {
        left = (left << 1) - count[length];
        if (left < 0)
            return CodeShape::Invalid;
        codes += count[length];
        if (count[length])
            maxLength = length;
    }

    int rootSize = 1 << table.rootBits;
    for (int i = 0; i < rootSize; ++i)
        table.entries[i] = Entry{0, kOpInvalid, 1};
    if (codes == 0)
        return CodeShape::Empty;

    // Symbols in canonical order: by length, then by symbol.
    int offset[kMaxCodeBits + 2] = {};
    for (int length = 1; length <= kMaxCodeBits; ++length)
        offset[length + 1] = offset[length] + count[length];
    uint16_t sorted[kFixedLitLenCodes];
    for (int s = 0; s < symbols; ++s)
        if (lengths[s])
            sorted[offset[lengths[s]]++] = static_cast<uint16_t>(s);

    const unsigned rootMask = rootSize - 1;
    int next = rootSize;          // first free entry for second-level tables
    unsigned currentRoot = ~0u;   // root index of the open second-level table
    int subBase = 0;
    int subBits = 0;
    unsigned code = 0;
    int length = 1;
    for (int i = 0; i < codes; ++i) {
        while (count[length] == 0) {
            ++length;
            code <<= 1;
        }
        Entry entry = leaf(sorted[i]);
        unsigned reversed = Reverse(code, length);
        if (length <= table.rootBits) {
            entry.bits = static_cast<uint8_t>(length);
            for (unsigned k = reversed; k < unsigned(rootSize); k += 1u << length)
                table.entries[k] = entry;
        } else {
            if ((reversed & rootMask) != currentRoot) {
                // Size the second-level table to the codes under this prefix.
                currentRoot = reversed & rootMask;
                subBits = length - table.rootBits;
                int room = 1 << subBits;
                while (subBits + table.rootBits < maxLength) {
                    room -= count[subBits + table.rootBits];
                    if (room <= 0)
                        break;
                    ++subBits;
                    room <<= 1;
                }
                if (next + (1 << subBits) > capacity)
                    return CodeShape::Invalid;
                subBase = next;
                next += 1 << subBits;
                for (int k = subBase; k < next; ++k)
                    table.entries[k] = Entry{0, kOpInvalid, 1};
                table.entries[currentRoot] = Entry{static_cast<uint16_t>(subBase),
                    static_cast<uint8_t>(kOpLink | subBits), static_cast<uint8_t>(table.rootBits)};
            }
            int subLength = length - table.rootBits;
            entry.bits = static_cast<uint8_t>(subLength);
            for (unsigned k = reversed >> table.rootBits; k < (1u << subBits); k += 1u << subLength)
                table.entries[subBase + k] = entry;
        }
        ++code;
        --count[length];
    }
    if (left == 0)
        return CodeShape::Complete;
    return codes == 1 && maxLength == 1 ? CodeShape::Single : CodeShape::Incomplete;
}

// Decodes one symbol; the bit buffer holds enough bits or the input ended.
Entry Decode(const Table& table)
{
    Entry entry = table.entries[g_bits & ((1u << table.rootBits) - 1)];
    if (entry.op & kOpLink) {
        unsigned index = static_cast<unsigned>(g_bits >> table.rootBits) & ((1u << (entry.op & kOpFieldMask)) - 1);
        Consume(table.rootBits);
        entry = table.entries[entry.value + index];
    }
    Consume(entry.bits);
    return entry;
}

void BuildFixedTables()
{
    if (g_fixedTablesBuilt)
        return;
    uint8_t lengths[kFixedLitLenCodes];
    for (int s = 0; s < kFixedLitLenCodes; ++s)
        lengths[s] = FixedLitLenLength(s);
    BuildTable(lengths, kFixedLitLenCodes, LitLenLeaf, Table{g_fixedLitLenEntries, kLitLenRootBits},
               kLitLenTableSize);
    std::memset(lengths, kFixedDistanceLength, kFixedDistanceCodes);
    BuildTable(lengths, kFixedDistanceCodes, DistanceLeaf, Table{g_fixedDistanceEntries, kDistanceRootBits},
               kDistanceTableSize);
    g_fixedTablesBuilt = true;
}

// Reads a dynamic block's header (RFC 1951 3.2.7) into the dynamic tables.
void ReadDynamicTables()
{
    int litLenCount = static_cast<int>(TakeBits(5)) + 257;
    int distanceCount = static_cast<int>(TakeBits(5)) + 1;
    int codeLengthCount = static_cast<int>(TakeBits(4)) + 4;
    if (litLenCount > kLitLenCodes || distanceCount > kDistanceCodes)
        Invalid();

    uint8_t codeLengthLengths[kCodeLengthCodes] = {};
    for (int i = 0; i < codeLengthCount; ++i)
        codeLengthLengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(TakeBits(3));
    Table codeLengthTable{g_codeLengthEntries, kCodeLengthRootBits};
    CodeShape shape = BuildTable(codeLengthLengths, kCodeLengthCodes, CodeLengthLeaf, codeLengthTable,
                                 kCodeLengthTableSize);
    if (shape != CodeShape::Complete && shape != CodeShape::Single)
        Invalid();

    uint8_t lengths[kLitLenCodes + kDistanceCodes];
    int total = litLenCount + distanceCount;
    for (int i = 0; i < total;) {
        if (g_bitCount < kSymbolBits)
            Refill();
        Entry entry = Decode(codeLengthTable);
        if (entry.op != kOpLiteral)
            Invalid();
        int symbol = entry.value;
        if (symbol < kRepeatPrevious) {
            lengths[i++] = static_cast<uint8_t>(symbol);
            continue;
        }
        uint8_t value = 0;
        int repeat;
        if (symbol == kRepeatPrevious) {
            if (i == 0)
                Invalid();
            value = lengths[i - 1];
            repeat = 3 + static_cast<int>(TakeBits(2));
        } else if (symbol == kRepeatZeros) {
            repeat = 3 + static_cast<int>(TakeBits(3));
        } else {
            repeat = 11 + static_cast<int>(TakeBits(7));
        }
        if (i + repeat > total)
            Invalid();
        std::memset(lengths + i, value, repeat);
        i += repeat;
    }
    // Without an end-of-block code the block could never end.
    if (lengths[kEndOfBlock] == 0)
        Invalid();

    shape = BuildTable(lengths, litLenCount, LitLenLeaf, Table{g_litLenEntries, kLitLenRootBits},
                       kLitLenTableSize);
    if (shape == CodeShape::Incomplete)
        Diagnose(" incomplete literal tree\n");
    if (shape != CodeShape::Complete && shape != CodeShape::Single)
        Invalid();
    // A block of literals only may have no distance code at all.
    shape = BuildTable(lengths + litLenCount, distanceCount, DistanceLeaf,
                       Table{g_distanceEntries, kDistanceRootBits}, kDistanceTableSize);
    if (shape == CodeShape::Incomplete)
        Diagnose(" incomplete distance tree\n");
    if (shape == CodeShape::Incomplete || shape == CodeShape::Invalid)
        Invalid();
}

// ---- Output window ---------------------------------------------------------

void FlushWindow()
{
    WriteDecoded(g_window + kOutputStart, g_outPos - kOutputStart);
    std::memcpy(g_window, g_window + kOutputStart, kWindowSize);
    g_outPos = kOutputStart;
    g_windowFull = true;
}

void PutLiteral(uint8_t value)
{
    g_window[g_outPos++] = value;
    if (g_outPos == kOutputEnd)
        FlushWindow();
}

void CopyMatch(int length, int distance)
{
    // Only data of this stream may be referred to.
    if (!g_windowFull && distance > g_outPos - kOutputStart)
        Invalid();
    uint8_t* to = g_window + g_outPos;
    const uint8_t* from = to - distance;
    if (g_outPos + length > kOutputEnd) {
        for (int i = 0; i < length; ++i)
            PutLiteral(g_window[g_outPos - distance]);
        return;
    }
    g_outPos += length;
    if (distance >= kCopyChunk) {
        for (int i = 0; i < length; i += kCopyChunk)
            std::memcpy(to + i, from + i, kCopyChunk);
    } else if (distance == 1) {
        std::memset(to, *from, length);
    } else {
        for (int i = 0; i < length; ++i)
            to[i] = from[i];
    }
    if (g_outPos == kOutputEnd)
        FlushWindow();
}

// ---- Blocks ------------------------------------------------------------------

void CopyStoredBlock()
{
    g_bits >>= g_bitCount & 7;
    g_bitCount &= ~7u;
    unsigned length = TakeBits(16);
    unsigned complement = TakeBits(16);
    if ((length ^ 0xFFFF) != complement)
        Invalid();
    GiveBackBytes();
    while (length > 0) {
        if (g_in == g_inEnd) {
            SetInputCursor(g_in);
            if (!FillInput())
                FailAtEndOfInput();
            g_in = InputCursor();
            g_inEnd = InputEnd();
        }
        unsigned part = static_cast<unsigned>(g_inEnd - g_in);
        part = std::min({part, length, unsigned(kOutputEnd - g_outPos)});
        std::memcpy(g_window + g_outPos, g_in, part);
        g_in += part;
        g_outPos += part;
        length -= part;
        if (g_outPos == kOutputEnd)
            FlushWindow();
    }
    SetInputCursor(g_in);
}

void DecodeHuffmanBlock(const Table& litLen, const Table& distance)
{
    for (;;) {
        if (g_bitCount < kSymbolBits)
            Refill();
        Entry entry = Decode(litLen);
        if (entry.op == kOpLiteral) {
            PutLiteral(static_cast<uint8_t>(entry.value));
            continue;
        }
        if (entry.op == kOpEnd)
            return;
        if (!(entry.op & kOpBase))
            Invalid();
        int length = entry.value + static_cast<int>(g_bits & ((1u << (entry.op & kOpFieldMask)) - 1));
        Consume(entry.op & kOpFieldMask);
        entry = Decode(distance);
        if (!(entry.op & kOpBase))
            Invalid();
        int offset = entry.value + static_cast<int>(g_bits & ((1u << (entry.op & kOpFieldMask)) - 1));
        Consume(entry.op & kOpFieldMask);
        CopyMatch(length, offset);
    }
}

} // namespace

void Inflate()
{
    g_outPos = kOutputStart;
    g_windowFull = false;
    g_bits = 0;
    g_bitCount = 0;
    g_in = InputCursor();
    g_inEnd = InputEnd();
    bool last;
    do {
        last = TakeBits(1) != 0;
        switch (TakeBits(2)) {
        case kStoredBlock:
            CopyStoredBlock();
            break;
        case kFixedBlock:
            BuildFixedTables();
            DecodeHuffmanBlock(Table{g_fixedLitLenEntries, kLitLenRootBits},
                               Table{g_fixedDistanceEntries, kDistanceRootBits});
            break;
        case kDynamicBlock:
            ReadDynamicTables();
            DecodeHuffmanBlock(Table{g_litLenEntries, kLitLenRootBits},
                               Table{g_distanceEntries, kDistanceRootBits});
            break;
        default:
            Invalid();
        }
    } while (!last);
    g_bits >>= g_bitCount & 7;
    g_bitCount &= ~7u;
    GiveBackBytes();
    if (g_outPos > kOutputStart)
        WriteDecoded(g_window + kOutputStart, g_outPos - kOutputStart);
}

} // namespace zip_engine
