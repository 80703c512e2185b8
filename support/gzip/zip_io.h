#pragma once
// Buffered descriptor I/O of the compression engine. All state is static: the
// engine runs one operation at a time in the whole process.

#include "support/gzip/zip_codec.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace zip_engine {

constexpr size_t kInputBufferSize = 32768;
// Bytes kept in front of a refilled input buffer, so a decoder that read ahead
// can step back over a refill.
constexpr size_t kInputGiveBack = 8;
constexpr size_t kOutputBufferSize = 16384;
constexpr int kNoFile = -1;
// Diagnostics name the program first; the launcher never sets a name.
inline constexpr char kProgramName[] = "";

// Where the engine takes its input from and puts its output: descriptors of
// the C runtime for CZip and CUnzip, memory for the native fuzz targets.
class ZipSource {
public:
    // Up to `size` bytes; 0 at the end, negative (errno set) on an error.
    virtual long Read(uint8_t* buffer, size_t size) = 0;

protected:
    ~ZipSource() = default;
};

class ZipSink {
public:
    // Some of the bytes; 0 or negative (errno set) when nothing was taken.
    virtual long Write(const uint8_t* data, size_t size) = 0;

protected:
    ~ZipSink() = default;
};

class DescriptorSource final : public ZipSource {
public:
    explicit DescriptorSource(int fd) : fd_(fd) {}
    long Read(uint8_t* buffer, size_t size) override;

private:
    int fd_;
};

class OutputSink final : public ZipSink {
public:
    explicit OutputSink(IZipOutput& output) : output_(output) {}
    long Write(const uint8_t* data, size_t size) override { return output_.Write(data, size); }

private:
    IZipOutput& output_;
};

class DescriptorSink final : public ZipSink {
public:
    explicit DescriptorSink(int fd) : fd_(fd) {}
    long Write(const uint8_t* data, size_t size) override;

private:
    int fd_;
};

// Descriptor calls of the C runtime, binary mode everywhere.
int OpenForReading(const ZipPath& name);
int CreateForWriting(const ZipPath& name);
// A name of the narrow interface (the ANSI code page on Windows) as opened.
ZipPath PathOfNarrowName(const char* name);
#ifdef _WIN32
// For diagnostics and the gzip header: a wide name in the ANSI code page.
std::string NarrowNameOf(const wchar_t* name);
#endif
void CloseDescriptor(int fd);
// Seconds since 1970, or 0 when unknown or outside the 32-bit gzip field.
uint32_t ModificationTime(int fd);
void SetFileTimes(int fd, uint32_t seconds);

// The files the running operation opened; the engine abort closes them.
void RecordOpenFiles(int source, int target);
void CloseRecordedFiles();

// Name shown in diagnostics and stored in the gzip header.
void SetHeaderName(const char* name);
const char* HeaderName();

// Writes a diagnostic to the standard error stream.
void Diagnose(const char* format, ...);
// Diagnostic followed by the engine abort (AbortZipOperation).
[[noreturn]] void Fail(const char* message);

// "unexpected end of file" followed by the engine abort.
[[noreturn]] void FailAtEndOfInput();

// Empties the buffers and resets the counters; part of the engine abort.
void ResetBuffers();

// Reads until `size` bytes arrived or the input ended; returns the count.
size_t ReadFully(ZipSource& source, uint8_t* buffer, size_t size);
// Writes everything; a short write is continued, a failed one is fatal.
void WriteFully(ZipSink& sink, const uint8_t* data, size_t size);

// Input buffer: [InputCursor(), InputEnd()) holds unread bytes.
void BeginInput(ZipSource& source);
const uint8_t* InputCursor();
const uint8_t* InputEnd();
// May step back at most kInputGiveBack bytes before the last refill.
void SetInputCursor(const uint8_t* cursor);
// Keeps the unread bytes and reads more; false when nothing more came.
bool FillInput();
// Largest number of bytes one FillInput takes (at least 1; kInputBufferSize,
// the default, means as many as fit). Smaller refills put the buffer's
// boundaries anywhere in short inputs: the fuzz targets' setting.
void SetInputRefillLimit(size_t bytes);
// The flag each refill looks at; null for none.
void SetStopFlag(const std::atomic<bool>* stop);
// Next byte; the end of the input is fatal.
uint8_t ReadByte();

// Output buffer of the compressor.
void BeginOutput(ZipSink& sink);
void PutByte(uint8_t value);
void PutBytes(const uint8_t* data, size_t size);
void FlushOutput();

// Decoded data goes straight to the output descriptor with its CRC and
// length counted.
void WriteDecoded(const uint8_t* data, size_t size);
uint32_t DecodedCrc();
uint32_t DecodedLength();

} // namespace zip_engine
