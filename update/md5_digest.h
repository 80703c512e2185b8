#pragma once
// MD5 digests on the platform's cryptographic provider. Every file the
// launcher installs is identified by the MD5 of its content.

#include <array>
#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#include "support/win_handles.h"
#endif

constexpr size_t kMd5Size = 16;
using Md5Hash = std::array<uint8_t, kMd5Size>;

// One digest computation; not shared between threads. Failures of the
// provider throw std::runtime_error with a text that names the failing call.
class CMd5Digest {
public:
    CMd5Digest();

    CMd5Digest(const CMd5Digest&) = delete;
    CMd5Digest& operator=(const CMd5Digest&) = delete;

    void Update(const void* data, size_t length);
    // The digest of everything given since the last digest was taken; the
    // next Update starts a new computation. Failures of this step are not
    // reported: the digest then compares unequal to any real one.
    Md5Hash Digest();

private:
#ifdef _WIN32
    void CreateHash();

    // Declared first so that it is released after the hash.
    UniqueCryptProvider provider_;
    UniqueCryptHash hash_;
    bool finished_ = false;
#else
    // The native fuzz build has no provider; it brings its own MD5.
    void Restart();
    void Transform(const uint8_t* block);

    uint32_t state_[4];
    uint64_t length_;
    uint8_t block_[64];
#endif
};
