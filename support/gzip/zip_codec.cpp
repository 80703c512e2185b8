#include "support/gzip/zip_codec.h"

#include "support/gzip/gzip_member.h"
#include "support/gzip/zip_io.h"

#include <cstdarg>
#include <cstdio>
#include <utility>

using namespace zip_engine;

namespace {

const char kOperationFailed[] = "problem with zipping/unzipping operation : %d";
// The value gzip tools exit with on an error.
constexpr int kOperationFailedCode = 1;

} // namespace

CZipException::CZipException(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(text_, sizeof text_, format, args);
    va_end(args);
}

CMamaZip::CMamaZip(ZipPath source, std::string sourceName, const char* operation)
    : source_(std::move(source)), sourceName_(std::move(sourceName)), operation_(operation)
{
}

int CMamaZip::OpenSource() const
{
    int input = OpenForReading(source_);
    if (input < 0)
        throw CZipException("unable to open source file");
    return input;
}

void CMamaZip::ThrowOnFailure(int result) const
{
    if (result != 0)
        throw CZipException("problem while %s file", operation_);
}

void CMamaZip::ToFile(const char* targetName)
{
    ToPath(PathOfNarrowName(targetName));
}

#ifdef _WIN32
void CMamaZip::ToFile(const wchar_t* targetName)
{
    ToPath(targetName);
}
#endif

void CMamaZip::ToPath(const ZipPath& target)
{
    if (target == source_)
        throw CZipException("target name must be different than source name");
    // Files left open by an operation whose thread was stopped.
    CloseRecordedFiles();
    int input = OpenSource();
    int output = CreateForWriting(target);
    if (output < 0) {
        CloseDescriptor(input);
        throw CZipException("unable to create target file");
    }
    RecordOpenFiles(input, output);
    DescriptorSink sink(output);
    int result = Process(input, sink, output);
    CloseRecordedFiles();
    ThrowOnFailure(result);
}

void CMamaZip::ToDescriptor(int output)
{
    CloseRecordedFiles();
    int input = OpenSource();
    RecordOpenFiles(input, kNoFile);
    DescriptorSink sink(output);
    int result = Process(input, sink, output);
    CloseRecordedFiles();
    ThrowOnFailure(result);
}

void CMamaZip::ToOutput(IZipOutput& output)
{
    CloseRecordedFiles();
    int input = OpenSource();
    RecordOpenFiles(input, kNoFile);
    OutputSink sink(output);
    int result = Process(input, sink, kNoFile);
    CloseRecordedFiles();
    ThrowOnFailure(result);
}

CZip::CZip(const char* sourceName, int level)
    : CMamaZip(PathOfNarrowName(sourceName), sourceName, "zipping"), level_(level)
{
}

#ifdef _WIN32
CZip::CZip(const wchar_t* sourceName, int level)
    : CMamaZip(sourceName, NarrowNameOf(sourceName), "zipping"), level_(level)
{
}
#endif

int CZip::Process(int input, ZipSink& sink, int)
{
    SetHeaderName(SourceName());
    DescriptorSource source(input);
    WriteMember(source, sink, level_, ModificationTime(input));
    return 0;
}

CUnzip::CUnzip(const char* sourceName) : CMamaZip(PathOfNarrowName(sourceName), sourceName, "unzipping")
{
}

#ifdef _WIN32
CUnzip::CUnzip(const wchar_t* sourceName) : CMamaZip(sourceName, NarrowNameOf(sourceName), "unzipping")
{
}
#endif

int CUnzip::Process(int input, ZipSink& sink, int output)
{
    SetHeaderName(SourceName());
    DescriptorSource source(input);
    if (UnzipMember(source, sink) != 0)
        return -1;
    // No time stamp in the input: the target keeps its own times.
    if (MemberTime() != 0 && output != kNoFile)
        SetFileTimes(output, MemberTime());
    return 0;
}

CZipStopFlag::CZipStopFlag(const std::atomic<bool>& stop)
{
    SetStopFlag(&stop);
}

CZipStopFlag::~CZipStopFlag()
{
    SetStopFlag(nullptr);
}

void AbortZipOperation()
{
    ResetBuffers();
    CloseRecordedFiles();
    throw CZipException(kOperationFailed, kOperationFailedCode);
}
