#include "support/gzip/gzip_member.h"

#include "support/gzip/inflate.h"
#include "support/gzip/lz77_encoder.h"
#include "support/gzip/zip_codec.h"
#include "support/gzip/zip_io.h"

#include <cstring>
#include <initializer_list>

namespace zip_engine {

namespace {

constexpr uint8_t kGzipMagic = 0x1F;
constexpr uint8_t kGzipMagic2 = 0x8B;
constexpr uint8_t kOldGzipMagic2 = 0x9E;
constexpr uint8_t kPackedMagic2 = 0x1E;
constexpr uint8_t kLzwMagic2 = 0x9D;
constexpr uint8_t kLzhMagic2 = 0xA0;

constexpr int kMethodStored = 0;
constexpr int kMethodLzw = 1;
constexpr int kMethodPacked = 2;
constexpr int kMethodLzh = 3;
constexpr int kMethodDeflate = 8;

constexpr uint8_t kFlagMultiPart = 0x02;  // RFC 1952 calls this bit FHCRC
constexpr uint8_t kFlagExtra = 0x04;
constexpr uint8_t kFlagName = 0x08;
constexpr uint8_t kFlagComment = 0x10;
constexpr uint8_t kFlagEncrypted = 0x20;
constexpr uint8_t kFlagReserved = 0xC0;

constexpr uint8_t kXflSlowest = 2;
constexpr uint8_t kXflFastest = 4;
constexpr uint8_t kOsNtfs = 11;

constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr uint32_t kDescriptorSignature = 0x08074B50;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kZipFlagsOffset = 6;
constexpr size_t kZipMethodOffset = 8;
constexpr size_t kZipCrcOffset = 14;
constexpr size_t kZipCompressedOffset = 18;
constexpr size_t kZipSizeOffset = 22;
constexpr size_t kZipNameLengthOffset = 26;
constexpr size_t kZipExtraLengthOffset = 28;
constexpr unsigned kZipFlagEncrypted = 0x01;
constexpr unsigned kZipFlagDescriptor = 0x08;
constexpr size_t kSignatureSize = 4;

int g_method;
uint32_t g_time;
bool g_isZip;
bool g_hasDescriptor;
uint32_t g_zipCrc;
uint32_t g_zipCompressed;
uint32_t g_zipSize;

unsigned Le16(const uint8_t* p)
{
    return p[0] | p[1] << 8;
}

uint32_t Le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint32_t ReadLe32()
{
    uint8_t bytes[4];
    for (uint8_t& b : bytes)
        b = ReadByte();
    return Le32(bytes);
}

unsigned ReadLe16()
{
    uint8_t low = ReadByte();
    return low | ReadByte() << 8;
}

void PutLe32(uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        PutByte(static_cast<uint8_t>(value >> shift));
}

void SkipString()
{
    while (ReadByte() != 0) {
    }
}

// Bytes buffered at the cursor, after reading more if fewer than `wanted`.
size_t Buffered(size_t wanted)
{
    while (size_t(InputEnd() - InputCursor()) < wanted && FillInput()) {
    }
    return InputEnd() - InputCursor();
}

// The stored name is the file's own name, without folders or drive.
const char* StripPath(const char* name)
{
    for (char separator : {'/', '\\', ':'}) {
        const char* last = std::strrchr(name, separator);
        if (last)
            name = last + 1;
    }
    return name;
}

int ReadGzipHeader()
{
    int method = ReadByte();
    if (method != kMethodDeflate) {
        Diagnose("%s: %s: unknown method %d -- get newer version of gzip\n", kProgramName, HeaderName(), method);
        return -1;
    }
    unsigned flags = ReadByte();
    if (flags & kFlagEncrypted) {
        Diagnose("%s: %s is encrypted -- get newer version of gzip\n", kProgramName, HeaderName());
        return -1;
    }
    if (flags & kFlagMultiPart) {
        Diagnose("%s: %s is a a multi-part gzip file -- get newer version of gzip\n", kProgramName, HeaderName());
        return -1;
    }
    if (flags & kFlagReserved) {
        Diagnose("%s: %s has flags 0x%x -- get newer version of gzip\n", kProgramName, HeaderName(), flags);
        return -1;
    }
    g_time = ReadLe32();
    ReadByte();  // extra flags
    ReadByte();  // operating system
    if (flags & kFlagExtra) {
        for (unsigned length = ReadLe16(); length > 0; --length)
            ReadByte();
    }
    if (flags & kFlagName)
        SkipString();
    if (flags & kFlagComment)
        SkipString();
    return kMethodDeflate;
}

int ReadZipHeader()
{
    const uint8_t* header = InputCursor();
    size_t buffered = InputEnd() - header;
    if (buffered < kLocalHeaderSize ||
        kLocalHeaderSize + Le16(header + kZipNameLengthOffset) + Le16(header + kZipExtraLengthOffset) > buffered) {
        Diagnose("\n%s: %s: not a valid zip file\n", kProgramName, HeaderName());
        return -1;
    }
    int method = static_cast<int>(Le16(header + kZipMethodOffset));
    if (method != kMethodStored && method != kMethodDeflate) {
        Diagnose("\n%s: %s: first entry not deflated or stored -- use unzip\n", kProgramName, HeaderName());
        return -1;
    }
    unsigned flags = Le16(header + kZipFlagsOffset);
    if (flags & kZipFlagEncrypted) {
        Diagnose("\n%s: %s: encrypted file -- use unzip\n", kProgramName, HeaderName());
        return -1;
    }
    g_isZip = true;
    g_hasDescriptor = (flags & kZipFlagDescriptor) != 0;
    g_zipCrc = Le32(header + kZipCrcOffset);
    g_zipCompressed = Le32(header + kZipCompressedOffset);
    g_zipSize = Le32(header + kZipSizeOffset);
    SetInputCursor(header + kLocalHeaderSize + Le16(header + kZipNameLengthOffset) +
                   Le16(header + kZipExtraLengthOffset));
    return method;
}

void CopyStored(uint32_t size)
{
    while (size > 0) {
        if (InputCursor() == InputEnd() && !FillInput())
            FailAtEndOfInput();
        size_t part = InputEnd() - InputCursor();
        if (part > size)
            part = size;
        WriteDecoded(InputCursor(), part);
        SetInputCursor(InputCursor() + part);
        size -= static_cast<uint32_t>(part);
    }
}

// A data descriptor: CRC, compressed size, size; the signature before them
// is optional in the ZIP format.
void ReadDescriptor(uint32_t& crc, uint32_t& size)
{
    crc = ReadLe32();
    if (crc == kDescriptorSignature)
        crc = ReadLe32();
    ReadLe32();  // compressed size
    size = ReadLe32();
}

} // namespace

void WriteMember(ZipSource& input, ZipSink& output, int level, uint32_t time)
{
    if (level < kMinLevel || level > kMaxLevel)
        Fail("bad pack level");
    BeginOutput(output);
    PutByte(kGzipMagic);
    PutByte(kGzipMagic2);
    PutByte(kMethodDeflate);
    PutByte(kFlagName);
    PutLe32(time);
    PutByte(level == kMaxLevel ? kXflSlowest : level == kMinLevel ? kXflFastest : 0);
    PutByte(kOsNtfs);
    const char* name = StripPath(HeaderName());
    PutBytes(reinterpret_cast<const uint8_t*>(name), std::strlen(name) + 1);
    DeflateResult result = Deflate(input, level);
    PutLe32(result.crc);
    PutLe32(result.length);
    FlushOutput();
}

int ReadMemberHeader(ZipSource& input)
{
    BeginInput(input);
    g_time = 0;
    g_isZip = false;
    g_hasDescriptor = false;
    if (Buffered(kSignatureSize) >= kSignatureSize && Le32(InputCursor()) == kLocalHeaderSignature)
        return g_method = ReadZipHeader();

    uint8_t magic = ReadByte();
    uint8_t magic2 = ReadByte();
    if (magic == kGzipMagic) {
        switch (magic2) {
        case kGzipMagic2:
        case kOldGzipMagic2:
            return g_method = ReadGzipHeader();
        case kPackedMagic2:
            return g_method = kMethodPacked;
        case kLzwMagic2:
            return g_method = kMethodLzw;
        case kLzhMagic2:
            return g_method = kMethodLzh;
        }
    }
    Diagnose("\n%s: %s: not in gzip format\n", kProgramName, HeaderName());
    return g_method = -1;
}

int DecodeMember(ZipSink& output)
{
    BeginOutput(output);
    switch (g_method) {
    case kMethodDeflate:
        Inflate();
        break;
    case kMethodStored:
        if (g_zipSize != g_zipCompressed) {
            Diagnose("len %ld, siz %ld\n", long(g_zipSize), long(g_zipCompressed));
            Fail("invalid compressed data--length mismatch");
        }
        CopyStored(g_zipSize);
        break;
    default:
        Fail("internal error, invalid method");
    }

    uint32_t crc;
    uint32_t size;
    if (!g_isZip) {
        crc = ReadLe32();
        size = ReadLe32();
    } else if (g_hasDescriptor) {
        ReadDescriptor(crc, size);
    } else {
        crc = g_zipCrc;
        size = g_zipSize;
    }
    if (crc != DecodedCrc())
        Fail("invalid compressed data--crc error");
    if (size != DecodedLength())
        Fail("invalid compressed data--length error");

    if (g_isZip && Buffered(kSignatureSize) >= kSignatureSize && Le32(InputCursor()) == kLocalHeaderSignature) {
        Diagnose("%s: %s has more than one entry -- unchanged\n", kProgramName, HeaderName());
        return -1;
    }
    return 0;
}

uint32_t MemberTime()
{
    return g_time;
}

int UnzipMember(ZipSource& input, ZipSink& output)
{
    if (ReadMemberHeader(input) < 0)
        return -1;
    return DecodeMember(output) != 0 ? -1 : 0;
}

} // namespace zip_engine
