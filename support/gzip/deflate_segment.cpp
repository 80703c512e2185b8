#include "support/gzip/deflate_segment.h"

#include "support/gzip/lz77_encoder.h"
#include "support/gzip/zip_io.h"

using namespace zip_engine;

namespace {

constexpr uint8_t kHeaderStart[] = {0x1F, 0x8B, 8 /* deflate */, 0x08 /* name follows */};
constexpr uint8_t kLevel9Flags = 2;
constexpr uint8_t kOsNtfs = 11;

void AppendLe32(std::string& bytes, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        bytes += static_cast<char>(value >> shift);
}

} // namespace

void WriteSegmentFile(const ZipPath& source, const ZipPath& target)
{
    CloseRecordedFiles();
    int input = OpenForReading(source);
    if (input < 0)
        throw CZipException("unable to open source file");
    int output = CreateForWriting(target);
    if (output < 0) {
        CloseDescriptor(input);
        throw CZipException("unable to create target file");
    }
    RecordOpenFiles(input, output);
    DescriptorSource in(input);
    DescriptorSink out(output);
    BeginOutput(out);
    DeflateResult result = Deflate(in, kDefaultZipLevel, false);
    std::string trailer;
    AppendLe32(trailer, result.crc);
    AppendLe32(trailer, result.length);
    PutBytes(reinterpret_cast<const uint8_t*>(trailer.data()), trailer.size());
    FlushOutput();
    CloseRecordedFiles();
}

std::string GzipMemberHeader(const std::string& name, uint32_t time)
{
    std::string header(reinterpret_cast<const char*>(kHeaderStart), sizeof kHeaderStart);
    AppendLe32(header, time);
    header += static_cast<char>(kLevel9Flags);
    header += static_cast<char>(kOsNtfs);
    header += name;
    header += '\0';
    return header;
}
