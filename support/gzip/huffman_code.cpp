#include "support/gzip/huffman_code.h"

#include "support/gzip/deflate_format.h"

#include <algorithm>

namespace zip_engine {

namespace {

constexpr int kMaxSymbols = kFixedLitLenCodes;
constexpr int kMaxNodes = 2 * kMaxSymbols;

struct Leaf {
    uint32_t frequency;
    uint16_t symbol;
};

// Depth of every leaf in a Huffman tree, leaves sorted by rising frequency.
// Two queues (leaves, then merged nodes in the order made) replace a heap;
// on equal weights the leaf goes first, which keeps the tree shallow.
void HuffmanDepths(const Leaf* leaves, int count, int* depths)
{
    uint32_t weight[kMaxNodes];
    int parent[kMaxNodes];
    for (int i = 0; i < count; ++i)
        weight[i] = leaves[i].frequency;
    int nextLeaf = 0;
    int nextMerged = count;
    int made = count;
    auto takeSmallest = [&]() {
        if (nextLeaf < count && (nextMerged == made || weight[nextLeaf] <= weight[nextMerged]))
            return nextLeaf++;
        return nextMerged++;
    };
    while (made < 2 * count - 1) {
        int a = takeSmallest();
        int b = takeSmallest();
        weight[made] = weight[a] + weight[b];
        parent[a] = made;
        parent[b] = made;
        ++made;
    }
    int depth[kMaxNodes];
    depth[made - 1] = 0;
    for (int node = made - 2; node >= 0; --node)
        depth[node] = depth[parent[node]] + 1;
    std::copy(depth, depth + count, depths);
}

// Brings every depth down to maxBits while keeping the code complete: two
// leaves below the limit become one leaf a level up, and a shallower leaf
// splits into two to make room (the adjustment of JPEG, ISO 10918-1 K.3).
void LimitDepths(int* levelCount, int deepest, int maxBits)
{
    for (int level = deepest; level > maxBits; --level) {
        while (levelCount[level] > 0) {
            int shallower = level - 2;
            while (levelCount[shallower] == 0)
                --shallower;
            levelCount[level] -= 2;
            levelCount[level - 1] += 1;
            levelCount[shallower + 1] += 2;
            levelCount[shallower] -= 1;
        }
    }
}

} // namespace

void BuildCodeLengths(const uint32_t* frequencies, int symbols, int maxBits, TieOrder ties,
                      uint8_t* lengths)
{
    Leaf leaves[kMaxSymbols];
    int count = 0;
    for (int s = 0; s < symbols; ++s) {
        lengths[s] = 0;
        if (frequencies[s])
            leaves[count++] = Leaf{frequencies[s], static_cast<uint16_t>(s)};
    }
    if (count < 2) {
        // One bit each for the used symbol (if any) and a partner.
        int used = count ? leaves[0].symbol : 0;
        lengths[used] = 1;
        lengths[used == 0 ? 1 : 0] = 1;
        return;
    }
    bool lowFirst = ties == TieOrder::LowSymbolsLonger;
    std::sort(leaves, leaves + count, [lowFirst](const Leaf& a, const Leaf& b) {
        if (a.frequency != b.frequency)
            return a.frequency < b.frequency;
        return lowFirst ? a.symbol < b.symbol : a.symbol > b.symbol;
    });

    int depths[kMaxSymbols];
    HuffmanDepths(leaves, count, depths);
    int levelCount[kMaxSymbols] = {};
    int deepest = 0;
    for (int i = 0; i < count; ++i) {
        ++levelCount[depths[i]];
        deepest = std::max(deepest, depths[i]);
    }
    LimitDepths(levelCount, deepest, maxBits);

    // The rarest symbols take the longest codes.
    int leaf = 0;
    for (int level = std::min(deepest, maxBits); level > 0; --level)
        for (int n = 0; n < levelCount[level]; ++n)
            lengths[leaves[leaf++].symbol] = static_cast<uint8_t>(level);
}

void BuildCanonicalCodes(const uint8_t* lengths, int symbols, uint16_t* codes)
{
    int levelCount[kMaxCodeBits + 1] = {};
    for (int s = 0; s < symbols; ++s)
        ++levelCount[lengths[s]];
    levelCount[0] = 0;
    unsigned next[kMaxCodeBits + 1] = {};
    unsigned code = 0;
    for (int bits = 1; bits <= kMaxCodeBits; ++bits) {
        code = (code + levelCount[bits - 1]) << 1;
        next[bits] = code;
    }
    for (int s = 0; s < symbols; ++s) {
        int length = lengths[s];
        unsigned value = length ? next[length]++ : 0;
        unsigned reversed = 0;
        for (int i = 0; i < length; ++i, value >>= 1)
            reversed = reversed << 1 | (value & 1);
        codes[s] = static_cast<uint16_t>(reversed);
    }
}

} // namespace zip_engine
