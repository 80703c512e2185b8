#include "support/gzip/zip_io.h"

#include "support/gzip/crc32.h"
#include "support/gzip/zip_codec.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32
#include <io.h>
#include <sys/utime.h>

#include "support/text_utils.h"
#else
#include <unistd.h>
#endif

namespace zip_engine {

namespace {

#ifdef _WIN32
constexpr int kReadFlags = _O_RDONLY | _O_BINARY;
constexpr int kCreateFlags = _O_RDWR | _O_CREAT | _O_TRUNC | _O_BINARY;
constexpr int kCreateMode = _S_IREAD | _S_IWRITE;
#else
constexpr int kReadFlags = O_RDONLY;
constexpr int kCreateFlags = O_RDWR | O_CREAT | O_TRUNC;
constexpr int kCreateMode = 0666;
#endif

// Largest request per read call; both runtimes take an unsigned count.
constexpr size_t kMaxTransfer = 1u << 30;

int g_sourceFile = kNoFile;
int g_targetFile = kNoFile;
std::string g_headerName;

ZipSource* g_source = nullptr;
const std::atomic<bool>* g_stop = nullptr;
uint8_t g_input[kInputGiveBack + kInputBufferSize];
size_t g_refillLimit = kInputBufferSize;
size_t g_inputPos = kInputGiveBack;
size_t g_inputEnd = kInputGiveBack;

ZipSink* g_sink = nullptr;
uint8_t g_output[kOutputBufferSize];
size_t g_outputCount;

uint32_t g_decodedCrc = kCrc32Initial;
uint32_t g_decodedLength;

long RawRead(int fd, void* buffer, size_t size)
{
#ifdef _WIN32
    return _read(fd, buffer, static_cast<unsigned>(size));
#else
    return ::read(fd, buffer, size);
#endif
}

long RawWrite(int fd, const void* data, size_t size)
{
#ifdef _WIN32
    return _write(fd, data, static_cast<unsigned>(size));
#else
    return ::write(fd, data, size);
#endif
}

[[noreturn]] void FailWithSystemError()
{
    Diagnose("%s: %s: %s\n", kProgramName, HeaderName(), std::strerror(errno));
    AbortZipOperation();
}

} // namespace

long DescriptorSource::Read(uint8_t* buffer, size_t size)
{
    return RawRead(fd_, buffer, size);
}

long DescriptorSink::Write(const uint8_t* data, size_t size)
{
    return RawWrite(fd_, data, size);
}

int OpenForReading(const ZipPath& name)
{
#ifdef _WIN32
    return _wopen(name.c_str(), kReadFlags);
#else
    return ::open(name.c_str(), kReadFlags);
#endif
}

int CreateForWriting(const ZipPath& name)
{
#ifdef _WIN32
    return _wopen(name.c_str(), kCreateFlags, kCreateMode);
#else
    return ::open(name.c_str(), kCreateFlags, kCreateMode);
#endif
}

ZipPath PathOfNarrowName(const char* name)
{
#ifdef _WIN32
    return AnsiToWide(name);
#else
    return name;
#endif
}

#ifdef _WIN32
std::string NarrowNameOf(const wchar_t* name)
{
    return WideToAnsi(name);
}
#endif

void CloseDescriptor(int fd)
{
#ifdef _WIN32
    _close(fd);
#else
    ::close(fd);
#endif
}

uint32_t ModificationTime(int fd)
{
#ifdef _WIN32
    struct _stat64 status;
    if (_fstat64(fd, &status) != 0)
        return 0;
#else
    struct stat status;
    if (::fstat(fd, &status) != 0)
        return 0;
#endif
    if (status.st_mtime <= 0 || status.st_mtime > 0xFFFFFFFF)
        return 0;
    return static_cast<uint32_t>(status.st_mtime);
}

void SetFileTimes(int fd, uint32_t seconds)
{
#ifdef _WIN32
    struct __utimbuf64 times;
    times.actime = seconds;
    times.modtime = seconds;
    _futime64(fd, &times);
#else
    struct timespec times[2];
    times[0].tv_sec = seconds;
    times[0].tv_nsec = 0;
    times[1] = times[0];
    ::futimens(fd, times);
#endif
}

void RecordOpenFiles(int source, int target)
{
    g_sourceFile = source;
    g_targetFile = target;
}

void CloseRecordedFiles()
{
    if (g_sourceFile != kNoFile)
        CloseDescriptor(g_sourceFile);
    if (g_targetFile != kNoFile)
        CloseDescriptor(g_targetFile);
    g_sourceFile = kNoFile;
    g_targetFile = kNoFile;
}

void SetHeaderName(const char* name)
{
    g_headerName = name;
}

const char* HeaderName()
{
    return g_headerName.c_str();
}

void Diagnose(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

void Fail(const char* message)
{
    Diagnose("\n%s: %s: %s\n", kProgramName, HeaderName(), message);
    AbortZipOperation();
}

void FailAtEndOfInput()
{
    Diagnose("%s: %s: unexpected end of file\n", kProgramName, HeaderName());
    AbortZipOperation();
}

void ResetBuffers()
{
    g_source = nullptr;
    g_inputPos = kInputGiveBack;
    g_inputEnd = kInputGiveBack;
    g_sink = nullptr;
    g_outputCount = 0;
    g_decodedCrc = kCrc32Initial;
    g_decodedLength = 0;
}

size_t ReadFully(ZipSource& source, uint8_t* buffer, size_t size)
{
    size_t total = 0;
    while (total < size) {
        long got = source.Read(buffer + total, std::min(size - total, kMaxTransfer));
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            FailWithSystemError();
        }
        total += static_cast<size_t>(got);
    }
    return total;
}

void WriteFully(ZipSink& sink, const uint8_t* data, size_t size)
{
    while (size > 0) {
        long put = sink.Write(data, std::min(size, kMaxTransfer));
        if (put < 0 && errno == EINTR)
            continue;
        // A write that makes no progress would loop for ever.
        if (put <= 0)
            FailWithSystemError();
        data += put;
        size -= static_cast<size_t>(put);
    }
}

void BeginInput(ZipSource& source)
{
    // Bytes left over from an earlier operation belong to another file.
    g_source = &source;
    g_inputPos = kInputGiveBack;
    g_inputEnd = kInputGiveBack;
}

const uint8_t* InputCursor()
{
    return g_input + g_inputPos;
}

const uint8_t* InputEnd()
{
    return g_input + g_inputEnd;
}

void SetInputCursor(const uint8_t* cursor)
{
    g_inputPos = static_cast<size_t>(cursor - g_input);
}

bool FillInput()
{
    if (g_stop && g_stop->load(std::memory_order_relaxed))
        Fail("stopped");
    // Keep the unread bytes and the give-back bytes before them.
    size_t keepFrom = g_inputPos > kInputGiveBack ? g_inputPos - kInputGiveBack : 0;
    std::memmove(g_input, g_input + keepFrom, g_inputEnd - keepFrom);
    g_inputPos -= keepFrom;
    g_inputEnd -= keepFrom;
    size_t got = ReadFully(*g_source, g_input + g_inputEnd, std::min(sizeof g_input - g_inputEnd, g_refillLimit));
    g_inputEnd += got;
    return got > 0;
}

void SetStopFlag(const std::atomic<bool>* stop)
{
    g_stop = stop;
}

void SetInputRefillLimit(size_t bytes)
{
    g_refillLimit = std::max<size_t>(1, std::min(bytes, kInputBufferSize));
}

uint8_t ReadByte()
{
    if (g_inputPos == g_inputEnd && !FillInput())
        FailAtEndOfInput();
    return g_input[g_inputPos++];
}

void BeginOutput(ZipSink& sink)
{
    g_sink = &sink;
    g_outputCount = 0;
    g_decodedCrc = kCrc32Initial;
    g_decodedLength = 0;
}

void PutByte(uint8_t value)
{
    g_output[g_outputCount++] = value;
    if (g_outputCount == kOutputBufferSize)
        FlushOutput();
}

void PutBytes(const uint8_t* data, size_t size)
{
    while (size > 0) {
        size_t room = kOutputBufferSize - g_outputCount;
        size_t part = size < room ? size : room;
        std::memcpy(g_output + g_outputCount, data, part);
        g_outputCount += part;
        data += part;
        size -= part;
        if (g_outputCount == kOutputBufferSize)
            FlushOutput();
    }
}

void FlushOutput()
{
    WriteFully(*g_sink, g_output, g_outputCount);
    g_outputCount = 0;
}

void WriteDecoded(const uint8_t* data, size_t size)
{
    g_decodedCrc = Crc32Update(g_decodedCrc, data, size);
    g_decodedLength += static_cast<uint32_t>(size);
    WriteFully(*g_sink, data, size);
}

uint32_t DecodedCrc()
{
    return Crc32Final(g_decodedCrc);
}

uint32_t DecodedLength()
{
    return g_decodedLength;
}

} // namespace zip_engine
