#pragma once
// A bounded byte stream between two threads of this process: one writes,
// one reads. It stands where a pipe would, without a call into the system
// per chunk (under Wine every pipe read and write is a round trip to the
// Wine server, and the bytes pass through it).

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "support/gzip/zip_codec.h"

class CByteChannel : public IZipOutput {
public:
    explicit CByteChannel(size_t capacity);
    CByteChannel(const CByteChannel&) = delete;
    CByteChannel& operator=(const CByteChannel&) = delete;

    // Waits for room, then takes what fits: the count taken, or -1 (errno
    // EPIPE) once the reader has closed.
    long Write(const uint8_t* data, size_t size) override;
    // Waits for bytes: the count read, 0 once the writer has closed and
    // everything was read.
    int Read(void* buffer, unsigned size);
    // The end of the stream: the reader gets what is left, then 0.
    void CloseWriter();
    // Nobody reads any more: a waiting or later write fails.
    void CloseReader();

private:
    std::vector<uint8_t> ring_;
    size_t start_ = 0;
    size_t count_ = 0;
    bool writerClosed_ = false;
    bool readerClosed_ = false;
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
};
