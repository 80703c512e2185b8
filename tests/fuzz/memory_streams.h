#pragma once
// The codec engine's source and sink in memory, so the fuzz targets run it
// without files or system calls.

#include "support/gzip/zip_io.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class MemorySource final : public zip_engine::ZipSource {
public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), left_(size) {}
    long Read(uint8_t* buffer, size_t size) override;

private:
    const uint8_t* data_;
    size_t left_;
};

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

// True when `text` is one of the texts CZipException may carry.
bool IsCodecFailureText(const char* text);
