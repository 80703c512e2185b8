#pragma once
#include <cstdint>

// The process-wide multiply-with-carry generator ("Mother of All" kind).
// Seed once at start-up; values lie in [0, 1).
void SeedRandom(uint32_t seed);
double NextRandom();
