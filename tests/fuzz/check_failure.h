#pragma once
// How a fuzz target's own checks fail: a line naming the check, then an
// abort, which libFuzzer reports as a crash and keeps the input of.

#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void FailCheck(const char* check, const char* what)
{
    std::fprintf(stderr, "%s failed: %s\n", check, what);
    std::abort();
}
