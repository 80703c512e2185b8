#include "support/random.h"

namespace {

const int kDiscardedAfterSeed = 19;

// x[0..3] hold x[n-4]..x[n-1]; x[4] is the carry.
uint32_t g_state[5];

} // namespace

double NextRandom()
{
    uint64_t sum = 2111111111ULL * g_state[0] + 1492ULL * g_state[1] + 1776ULL * g_state[2] +
                   5115ULL * g_state[3] + g_state[4];
    g_state[0] = g_state[1];
    g_state[1] = g_state[2];
    g_state[2] = g_state[3];
    g_state[3] = static_cast<uint32_t>(sum);
    g_state[4] = static_cast<uint32_t>(sum >> 32);
    return g_state[3] * (1.0 / 4294967296.0);
}

void SeedRandom(uint32_t seed)
{
    uint32_t s = seed;
    for (uint32_t& word : g_state) {
        s = s * 29943829u - 1u;
        word = s;
    }
    for (int i = 0; i < kDiscardedAfterSeed; ++i)
        NextRandom();
}
