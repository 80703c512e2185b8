#pragma once
// The fuzz targets' bytes in memory: a source for the codec engine and the
// index reader alike, and the engine's sink, so the targets run without
// files or system calls.

#include "support/gzip/zip_io.h"
#include "update/file_index.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Hands its bytes over in reads of at most `step` bytes, as a pipe hands
// them over in pieces.
class MemoryInput final : public zip_engine::ZipSource, public IndexInput {
public:
    MemoryInput(const uint8_t* data, size_t size, size_t step = SIZE_MAX) : data_(data), left_(size), step_(step) {}
    long Read(uint8_t* buffer, size_t size) override;
    int ReadSome(void* buffer, unsigned size) override;
    size_t Left() const { return left_; }

private:
    size_t Take(void* buffer, size_t size);

    const uint8_t* data_;
    size_t left_;
    size_t step_;
};

// The read step an input's first byte chooses: 1 to 127 bytes, 0 for 64 KiB.
inline unsigned ReadStep(uint8_t selector)
{
    return (selector & 0x7F) ? (selector & 0x7F) : 65536;
}

// Keeps what it is given in `kept` when one is passed, else only counts it.
// Beyond `limit` bytes it refuses, as a full disk would, so a small input
// that expands without end costs no more than `limit` bytes of work.
class MemorySink final : public zip_engine::ZipSink {
public:
    MemorySink(size_t limit, std::vector<uint8_t>* kept) : limit_(limit), kept_(kept) {}
    long Write(const uint8_t* data, size_t size) override;
    size_t Count() const { return count_; }

private:
    size_t limit_;
    std::vector<uint8_t>* kept_;
    size_t count_ = 0;
};

// Unpacks a fuzz input into `sink` as the launcher unpacks a package named
// `name`. The input's first byte sets how many bytes each refill of the
// engine's input buffer takes (0: as many as fit), so short inputs put the
// buffer's boundaries anywhere; the package follows. True when the package
// was unpacked whole; a failure other than the codec's own aborts.
bool UnpackFuzzInput(const uint8_t* data, size_t size, const char* name, MemorySink& sink);
