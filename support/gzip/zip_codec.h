#pragma once
// The gzip codec: CZip turns one file into a gzip file (one DEFLATE member),
// CUnzip turns a gzip file or a one-entry ZIP archive back into the plain
// file. File names are narrow strings in the ANSI code page or, on Windows,
// wide strings, which reach the file system whatever the code page lacks.
//
// The engine beneath keeps all its state in static storage, so one operation
// at a time may run in the whole process, whatever thread runs it. A caller
// that stopped a thread inside the codec calls AbortZipOperation (and catches
// its exception) before the next operation.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

// A file name as the C runtime opens it with no code page in between.
#ifdef _WIN32
using ZipPath = std::wstring;
#else
using ZipPath = std::string;
#endif

constexpr int kZipMessageChars = 128;
constexpr int kDefaultZipLevel = 9;

// The one failure type of the codec; thrown by value, caught by reference.
class CZipException {
public:
    // printf-style; the text is cut to fit.
    explicit CZipException(const char* format, ...);
    const char* Text() const { return text_; }

private:
    char text_[kZipMessageChars];
};

namespace zip_engine {
class ZipSink;
}

// Where CMamaZip::ToOutput puts its bytes.
class IZipOutput {
public:
    // Takes some of the bytes and returns how many; 0 or less (errno set)
    // when it takes none, which fails the operation.
    virtual long Write(const uint8_t* data, size_t size) = 0;

protected:
    ~IZipOutput() = default;
};

class CMamaZip {
public:
    // Opens the source, creates (or truncates) the target, runs the operation
    // and closes both. A target created before a failure stays on disk.
    void ToFile(const char* targetName);
#ifdef _WIN32
    void ToFile(const wchar_t* targetName);
#endif
    // The same into a descriptor the caller holds (the write end of a pipe);
    // that descriptor is left open.
    void ToDescriptor(int output);
    // The same into the caller's output.
    void ToOutput(IZipOutput& output);

protected:
    // sourceName is the source in the narrow form, for diagnostics and the
    // gzip header's name field.
    CMamaZip(ZipPath source, std::string sourceName, const char* operation);
    ~CMamaZip() = default;

    // 0 on success; a refused input returns non-zero, fatal errors throw.
    // output is the sink's descriptor, or -1 for an output of the caller's.
    virtual int Process(int input, zip_engine::ZipSink& sink, int output) = 0;
    const char* SourceName() const { return sourceName_.c_str(); }

private:
    int OpenSource() const;
    void ToPath(const ZipPath& target);
    void ThrowOnFailure(int result) const;

    ZipPath source_;
    std::string sourceName_;
    const char* operation_;
};

class CZip : public CMamaZip {
public:
    explicit CZip(const char* sourceName, int level = kDefaultZipLevel);
#ifdef _WIN32
    explicit CZip(const wchar_t* sourceName, int level = kDefaultZipLevel);
#endif

protected:
    int Process(int input, zip_engine::ZipSink& sink, int output) override;

private:
    int level_;
};

class CUnzip : public CMamaZip {
public:
    explicit CUnzip(const char* sourceName);
#ifdef _WIN32
    explicit CUnzip(const wchar_t* sourceName);
#endif

protected:
    int Process(int input, zip_engine::ZipSink& sink, int output) override;
};

// While one lives, the running operation looks at the flag each time it
// refills its input and fails with CZipException once the flag is set: a
// long decompression ends soon after its owner asked it to stop. One at a
// time, like the operations themselves.
class CZipStopFlag {
public:
    explicit CZipStopFlag(const std::atomic<bool>& stop);
    ~CZipStopFlag();
    CZipStopFlag(const CZipStopFlag&) = delete;
    CZipStopFlag& operator=(const CZipStopFlag&) = delete;
};

// Brings the engine back to a clean state: empties its buffers, closes the
// files the running operation opened, and throws CZipException. The engine
// also ends every fatal error here.
[[noreturn]] void AbortZipOperation();
