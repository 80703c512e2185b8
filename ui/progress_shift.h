#pragma once
// Progress bars take 16-bit positions: byte counts are shifted right until
// they fit, by the same amount for the range and every later position.

#include <windows.h>

inline int ProgressShift(DWORD bytes)
{
    int highestBit = -1;
    for (DWORD rest = bytes; rest; rest >>= 1)
        ++highestBit;
    return highestBit < 16 ? 1 : highestBit - 15;
}
