// The gzip codec: round trips at every level, the gzip and ZIP headers it
// reads and writes, and every failure with its exact text.

#include "support/gzip/zip_codec.h"
#include "support/gzip/crc32_combine.h"
#include "support/gzip/deflate_segment.h"
#include "support/gzip/zip_io.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#ifdef _WIN32
#include <direct.h>
#include <io.h>
#include <sys/utime.h>
#else
#include <unistd.h>
#include <utime.h>
#endif

namespace {

using Bytes = std::vector<uint8_t>;

const char kOperationFailed[] = "problem with zipping/unzipping operation : 1";
const char kUnzipFailed[] = "problem while unzipping file";
constexpr size_t kHeaderSize = 10;
constexpr size_t kTrailerSize = 8;

// ---- Files -----------------------------------------------------------------------

void WriteBytes(const std::string& name, const Bytes& data)
{
    FILE* file = std::fopen(name.c_str(), "wb");
    ASSERT_NE(file, nullptr) << name;
    size_t written = data.empty() ? 0 : std::fwrite(data.data(), 1, data.size(), file);
    std::fclose(file);
    ASSERT_EQ(written, data.size());
}

Bytes ReadBytes(const std::string& name)
{
    Bytes data;
    FILE* file = std::fopen(name.c_str(), "rb");
    if (!file)
        return data;
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        data.insert(data.end(), chunk, chunk + got);
    std::fclose(file);
    return data;
}

bool Exists(const std::string& name)
{
    FILE* file = std::fopen(name.c_str(), "rb");
    if (file)
        std::fclose(file);
    return file != nullptr;
}

#ifdef _WIN32
void SetModificationTime(const std::string& name, int64_t seconds)
{
    __utimbuf64 times{seconds, seconds};
    ASSERT_EQ(_utime64(name.c_str(), &times), 0);
}

int64_t ModificationTime(const std::string& name)
{
    struct _stat64 status;
    return _stat64(name.c_str(), &status) == 0 ? status.st_mtime : -1;
}

int OpenForAppending(const std::string& name)
{
    return _open(name.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}

void CloseDescriptor(int fd)
{
    _close(fd);
}

bool WriteDescriptor(int fd, const char* text)
{
    return _write(fd, text, static_cast<unsigned>(std::strlen(text))) == int(std::strlen(text));
}

std::string CurrentFolder()
{
    char buffer[1024];
    return _getcwd(buffer, sizeof buffer) ? buffer : "";
}

void MakeFolder(const std::string& name)
{
    _mkdir(name.c_str());
}
#else
void SetModificationTime(const std::string& name, int64_t seconds)
{
    utimbuf times{static_cast<time_t>(seconds), static_cast<time_t>(seconds)};
    ASSERT_EQ(utime(name.c_str(), &times), 0);
}

int64_t ModificationTime(const std::string& name)
{
    struct stat status;
    return stat(name.c_str(), &status) == 0 ? status.st_mtime : -1;
}

int OpenForAppending(const std::string& name)
{
    return open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
}

void CloseDescriptor(int fd)
{
    close(fd);
}

bool WriteDescriptor(int fd, const char* text)
{
    return write(fd, text, std::strlen(text)) == ssize_t(std::strlen(text));
}

std::string CurrentFolder()
{
    char buffer[1024];
    return getcwd(buffer, sizeof buffer) ? buffer : "";
}

void MakeFolder(const std::string& name)
{
    mkdir(name.c_str(), 0777);
}
#endif

// ---- Data ------------------------------------------------------------------------

// Bit by bit, independent of the codec's table-driven CRC.
uint32_t ReferenceCrc32(const Bytes& data)
{
    uint32_t crc = 0xFFFFFFFF;
    for (uint8_t byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

uint32_t Le32(const Bytes& data, size_t at)
{
    return uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 | uint32_t(data[at + 2]) << 16 |
           uint32_t(data[at + 3]) << 24;
}

void PutLe16(Bytes& data, unsigned value)
{
    data.push_back(static_cast<uint8_t>(value));
    data.push_back(static_cast<uint8_t>(value >> 8));
}

void PutLe32(Bytes& data, uint32_t value)
{
    PutLe16(data, value & 0xFFFF);
    PutLe16(data, value >> 16);
}

class Random {
public:
    explicit Random(uint32_t seed) : state_(seed) {}
    uint32_t Next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }

private:
    uint32_t state_;
};

Bytes RandomBytes(size_t size, uint32_t seed)
{
    Random random(seed);
    Bytes data(size);
    for (uint8_t& byte : data)
        byte = static_cast<uint8_t>(random.Next() >> 24);
    return data;
}

Bytes TextBytes(size_t size, uint32_t seed)
{
    static const char* const kWords[] = {"tarnhold", "launcher", "update", "the", "of", "file",
                                         "package", "server", "index", "a", "game", "window"};
    Random random(seed);
    std::string text;
    while (text.size() < size) {
        text += kWords[random.Next() % 12];
        text += random.Next() % 9 ? " " : ".\r\n";
    }
    text.resize(size);
    return Bytes(text.begin(), text.end());
}

Bytes RunBytes(size_t size)
{
    Bytes data;
    for (int run = 0; data.size() < size; ++run)
        data.insert(data.end(), 1 + run * 37 % 700, static_cast<uint8_t>(run % 3 ? 0 : 'a' + run % 26));
    data.resize(size);
    return data;
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// ---- Codec calls -------------------------------------------------------------------

// Runs the call; returns the exception text, or "" when it succeeded.
template <typename Call>
std::string FailureOf(Call call)
{
    try {
        call();
    } catch (const CZipException& e) {
        return e.Text();
    }
    return "";
}

Bytes Compress(const Bytes& data, int level = kDefaultZipLevel)
{
    WriteBytes("plain.bin", data);
    CZip("plain.bin", level).ToFile("packed.gz");
    return ReadBytes("packed.gz");
}

// Decompresses `packed`; returns the exception text ("" on success) and the
// target's bytes.
std::string Decompress(const Bytes& packed, Bytes* restored = nullptr)
{
    WriteBytes("input.gz", packed);
    std::remove("restored.bin");
    std::string failure = FailureOf([] { CUnzip("input.gz").ToFile("restored.bin"); });
    if (restored)
        *restored = ReadBytes("restored.bin");
    return failure;
}

// The raw DEFLATE stream inside one of our members named "plain.bin".
Bytes DeflateStream(const Bytes& data)
{
    Bytes member = Compress(data);
    size_t start = kHeaderSize + std::strlen("plain.bin") + 1;
    return Bytes(member.begin() + start, member.end() - kTrailerSize);
}

struct ZipEntry {
    std::string name;
    Bytes data;
    bool deflated;
    bool descriptor;
};

// A ZIP archive as the ZIP format describes it (local headers, data,
// optional data descriptors, central directory).
Bytes ZipArchive(const std::vector<ZipEntry>& entries)
{
    Bytes archive;
    Bytes directory;
    for (const ZipEntry& entry : entries) {
        Bytes body = entry.deflated ? DeflateStream(entry.data) : entry.data;
        uint32_t crc = ReferenceCrc32(entry.data);
        uint32_t offset = static_cast<uint32_t>(archive.size());
        unsigned flags = entry.descriptor ? 0x08 : 0;
        PutLe32(archive, 0x04034B50);
        PutLe16(archive, 20);
        PutLe16(archive, flags);
        PutLe16(archive, entry.deflated ? 8 : 0);
        PutLe32(archive, 0);  // DOS time and date
        PutLe32(archive, entry.descriptor ? 0 : crc);
        PutLe32(archive, entry.descriptor ? 0 : uint32_t(body.size()));
        PutLe32(archive, entry.descriptor ? 0 : uint32_t(entry.data.size()));
        PutLe16(archive, static_cast<unsigned>(entry.name.size()));
        PutLe16(archive, 0);
        archive.insert(archive.end(), entry.name.begin(), entry.name.end());
        archive.insert(archive.end(), body.begin(), body.end());
        if (entry.descriptor) {
            PutLe32(archive, 0x08074B50);
            PutLe32(archive, crc);
            PutLe32(archive, static_cast<uint32_t>(body.size()));
            PutLe32(archive, static_cast<uint32_t>(entry.data.size()));
        }
        PutLe32(directory, 0x02014B50);
        PutLe16(directory, 20);
        PutLe16(directory, 20);
        PutLe16(directory, flags);
        PutLe16(directory, entry.deflated ? 8 : 0);
        PutLe32(directory, 0);
        PutLe32(directory, crc);
        PutLe32(directory, static_cast<uint32_t>(body.size()));
        PutLe32(directory, static_cast<uint32_t>(entry.data.size()));
        PutLe16(directory, static_cast<unsigned>(entry.name.size()));
        for (int i = 0; i < 4; ++i)
            PutLe16(directory, 0);
        PutLe32(directory, 0);
        PutLe32(directory, offset);
        directory.insert(directory.end(), entry.name.begin(), entry.name.end());
    }
    uint32_t directoryOffset = static_cast<uint32_t>(archive.size());
    archive.insert(archive.end(), directory.begin(), directory.end());
    PutLe32(archive, 0x06054B50);
    PutLe32(archive, 0);
    PutLe16(archive, static_cast<unsigned>(entries.size()));
    PutLe16(archive, static_cast<unsigned>(entries.size()));
    PutLe32(archive, static_cast<uint32_t>(directory.size()));
    PutLe32(archive, directoryOffset);
    PutLe16(archive, 0);
    return archive;
}

// ---- Round trips ----------------------------------------------------------------

struct Sample {
    const char* name;
    Bytes data;
};

std::vector<Sample> Samples()
{
    Bytes text = TextBytes(300000, 1);
    return {
        {"empty", {}},
        {"one byte", {'x'}},
        {"text", text},
        {"random", RandomBytes(100000, 2)},
        {"long runs", RunBytes(400000)},
        {"zeros", Bytes(300000, 0)},
        // Several times the 64 KiB window: it slides again and again, and
        // matches reach across the slides.
        {"larger than the window", Concat({text, RandomBytes(70000, 3), text, RunBytes(200000)})},
        // Ends where a block of 32767 literals, the input buffer, the output
        // buffer or the window ends.
        {"one full block of literals", RandomBytes(32767, 4)},
        {"two full blocks of literals", RandomBytes(2 * 32767, 5)},
        {"input buffer", TextBytes(32768, 6)},
        {"output buffer", RandomBytes(16384, 7)},
        {"window", TextBytes(65536, 8)},
        {"window and a half", Concat({RandomBytes(65536, 9), TextBytes(32768, 10)})},
        {"a stored block's limit", RandomBytes(65535, 11)},
    };
}

TEST(ZipCodec, RestoresEveryInputAtEveryLevel)
{
    for (const Sample& sample : Samples()) {
        for (int level = 1; level <= 9; ++level) {
            SCOPED_TRACE(std::string(sample.name) + ", level " + std::to_string(level));
            Bytes packed = Compress(sample.data, level);
            ASSERT_GE(packed.size(), kHeaderSize + kTrailerSize);
            EXPECT_EQ(Le32(packed, packed.size() - 8), ReferenceCrc32(sample.data));
            EXPECT_EQ(Le32(packed, packed.size() - 4), sample.data.size());
            Bytes restored;
            ASSERT_EQ(Decompress(packed, &restored), "");
            ASSERT_EQ(restored, sample.data);
        }
    }
}

TEST(ZipCodec, CompressesRedundantDataAndBarelyGrowsRandomData)
{
    Bytes text = TextBytes(300000, 1);
    EXPECT_LT(Compress(text).size(), text.size() / 3);
    Bytes zeros(300000, 0);
    EXPECT_LT(Compress(zeros).size(), 1000u);
    // Incompressible data goes into stored blocks of at most 32767 bytes,
    // 5 bytes of framing each; the header holds "plain.bin".
    Bytes random = RandomBytes(100000, 2);
    size_t blocks = (random.size() + 32766) / 32767;
    EXPECT_LE(Compress(random).size(), random.size() + kHeaderSize + 10 + kTrailerSize + 5 * blocks);
}

TEST(ZipCodec, OutputDoesNotDependOnEarlierOperations)
{
    Bytes text = TextBytes(100000, 12);
    Bytes first = Compress(text);
    Compress(RandomBytes(200000, 13));
    Bytes again = Compress(text);
    // The header's time stamp is the input's, written anew by each Compress:
    // it may fall in another second.
    std::fill(first.begin() + 4, first.begin() + 8, 0);
    std::fill(again.begin() + 4, again.begin() + 8, 0);
    EXPECT_EQ(again, first);
}

TEST(ZipCodec, RoundTripThroughDescriptors)
{
    Bytes data = TextBytes(50000, 14);
    WriteBytes("plain.bin", data);
    int packed = OpenForAppending("packed.gz");
    ASSERT_GE(packed, 0);
    CZip("plain.bin").ToDescriptor(packed);
    // The caller's descriptor stays open.
    EXPECT_TRUE(WriteDescriptor(packed, ""));
    CloseDescriptor(packed);

    int restored = OpenForAppending("restored.bin");
    ASSERT_GE(restored, 0);
    CUnzip("packed.gz").ToDescriptor(restored);
    CloseDescriptor(restored);
    EXPECT_EQ(ReadBytes("restored.bin"), data);
}

// ---- Header writing ---------------------------------------------------------------

TEST(ZipCodec, HeaderCarriesFlagsLevelMarkAndOperatingSystem)
{
    const int levels[] = {1, 5, 9};
    const uint8_t marks[] = {4, 0, 2};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(levels[i]);
        Bytes packed = Compress(TextBytes(1000, 15), levels[i]);
        EXPECT_EQ(packed[0], 0x1F);
        EXPECT_EQ(packed[1], 0x8B);
        EXPECT_EQ(packed[2], 8);
        EXPECT_EQ(packed[3], 0x08);  // the name only
        EXPECT_EQ(packed[8], marks[i]);
        EXPECT_EQ(packed[9], 11);
    }
}

TEST(ZipCodec, NameFieldKeepsOnlyTheFileName)
{
    MakeFolder("sub");
    WriteBytes("sub/Mixed.Case.Bin", {'a'});
    std::string folder = CurrentFolder();
#ifdef _WIN32
    std::string absolute = folder + "\\sub\\Mixed.Case.Bin";
#else
    std::string absolute = folder + "/sub/Mixed.Case.Bin";
#endif
    for (const std::string& source : {std::string("sub/Mixed.Case.Bin"), absolute}) {
        SCOPED_TRACE(source);
        CZip(source.c_str()).ToFile("named.gz");
        Bytes packed = ReadBytes("named.gz");
        const char kName[] = "Mixed.Case.Bin";
        ASSERT_GT(packed.size(), kHeaderSize + sizeof kName);
        EXPECT_EQ(std::memcmp(packed.data() + kHeaderSize, kName, sizeof kName), 0);
    }
}

TEST(ZipCodec, EmptyInputGivesAValidEmptyMember)
{
    Bytes packed = Compress({});
    size_t body = kHeaderSize + std::strlen("plain.bin") + 1;
    // One fixed block holding only its end code, then CRC 0 and length 0.
    Bytes expected = {0x03, 0x00, 0, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(packed.size(), body + expected.size());
    EXPECT_EQ(Bytes(packed.begin() + body, packed.end()), expected);
    Bytes restored = {'x'};
    EXPECT_EQ(Decompress(packed, &restored), "");
    EXPECT_TRUE(restored.empty());
    EXPECT_TRUE(Exists("restored.bin"));
}

TEST(ZipCodec, TimeStampTravelsFromSourceToTarget)
{
    const int64_t kTime = 1234567890;
    WriteBytes("dated.bin", TextBytes(5000, 16));
    SetModificationTime("dated.bin", kTime);
    CZip("dated.bin").ToFile("dated.gz");
    EXPECT_EQ(Le32(ReadBytes("dated.gz"), 4), kTime);
    CUnzip("dated.gz").ToFile("dated.out");
    EXPECT_EQ(ModificationTime("dated.out"), kTime);
}

TEST(ZipCodec, MemberWithoutTimeStampLeavesTheTargetsTime)
{
    WriteBytes("dated.bin", {'a'});
    SetModificationTime("dated.bin", 1234567890);
    CZip("dated.bin").ToFile("dated.gz");
    // An earlier operation's time stamp must not carry over.
    CUnzip("dated.gz").ToFile("first.out");
    Bytes packed = ReadBytes("dated.gz");
    for (int i = 4; i < 8; ++i)
        packed[i] = 0;
    WriteBytes("undated.gz", packed);
    time_t before = std::time(nullptr);
    CUnzip("undated.gz").ToFile("undated.out");
    EXPECT_GE(ModificationTime("undated.out"), int64_t(before) - 5);
}

// ---- Opening files --------------------------------------------------------------

TEST(ZipCodec, TargetEqualToSourceIsRefusedAndCreatesNothing)
{
    WriteBytes("same.bin", {'a', 'b'});
    EXPECT_EQ(FailureOf([] { CZip("same.bin").ToFile("same.bin"); }),
              "target name must be different than source name");
    EXPECT_EQ(FailureOf([] { CUnzip("same.bin").ToFile("same.bin"); }),
              "target name must be different than source name");
    EXPECT_EQ(ReadBytes("same.bin"), (Bytes{'a', 'b'}));
}

TEST(ZipCodec, MissingSourceIsReported)
{
    EXPECT_EQ(FailureOf([] { CZip("missing.bin").ToFile("missing.gz"); }), "unable to open source file");
    EXPECT_EQ(FailureOf([] { CUnzip("missing.gz").ToFile("missing.bin"); }), "unable to open source file");
    EXPECT_FALSE(Exists("missing.gz"));
    EXPECT_EQ(FailureOf([] { CUnzip("missing.gz").ToDescriptor(1); }), "unable to open source file");
}

TEST(ZipCodec, UncreatableTargetIsReportedAndTheSourceClosed)
{
    WriteBytes("source.bin", {'a'});
    EXPECT_EQ(FailureOf([] { CZip("source.bin").ToFile("no-such-folder/target.gz"); }),
              "unable to create target file");
    // An open file could not be removed on Windows.
    EXPECT_EQ(std::remove("source.bin"), 0);
}

#ifdef _WIN32
TEST(ZipCodec, WideNamesOutsideTheCodePageRoundTrip)
{
    // "地图 Карта.bin" and "Карта 地图.out": CJK and Cyrillic.
    const std::wstring plain = L"\x5730\x56FE \x041A\x0430\x0440\x0442\x0430.bin";
    const std::wstring packed = plain + L".zip";
    const std::wstring restored = L"\x041A\x0430\x0440\x0442\x0430 \x5730\x56FE.out";
    Bytes data = TextBytes(20000, 34);
    WriteBytes("plain.bin", data);
    ASSERT_EQ(_wrename(L"plain.bin", plain.c_str()), 0);
    CZip(plain.c_str()).ToFile(packed.c_str());
    CUnzip(packed.c_str()).ToFile(restored.c_str());
    ASSERT_EQ(_wrename(restored.c_str(), L"wide.bin"), 0);
    EXPECT_EQ(ReadBytes("wide.bin"), data);
}
#endif

TEST(ZipCodec, OverlongSourceNameCannotBeOpened)
{
    std::string name(300, 'n');
    EXPECT_EQ(FailureOf([&] { CZip(name.c_str()).ToFile("long.gz"); }), "unable to open source file");
}

TEST(ZipCodec, LevelOutsideOneToNineFails)
{
    WriteBytes("plain.bin", {'a'});
    for (int level : {0, 10, -1}) {
        SCOPED_TRACE(level);
        EXPECT_EQ(FailureOf([&] { CZip("plain.bin", level).ToFile("packed.gz"); }), kOperationFailed);
    }
}

TEST(ZipCodec, ExceptionTextIsCutToItsBuffer)
{
    std::string longText(300, 'a');
    CZipException e("%s", longText.c_str());
    EXPECT_EQ(std::strlen(e.Text()), size_t(kZipMessageChars - 1));
}

// ---- Header reading -----------------------------------------------------------------

Bytes MemberWithFields(const Bytes& data, uint8_t flags)
{
    Bytes member = Compress(data);
    Bytes body(member.begin() + kHeaderSize + std::strlen("plain.bin") + 1, member.end());
    Bytes header(member.begin(), member.begin() + kHeaderSize);
    header[3] = flags;
    if (flags & 0x04) {
        PutLe16(header, 5);
        header.insert(header.end(), {'X', 'Y', 1, 0, '!'});
    }
    if (flags & 0x08)
        header.insert(header.end(), {'n', 'a', 'm', 'e', 0});
    if (flags & 0x10)
        header.insert(header.end(), {'n', 'o', 't', 'e', 0});
    return Concat({header, body});
}

TEST(ZipCodec, OptionalHeaderFieldsAreSkipped)
{
    Bytes data = TextBytes(20000, 17);
    for (uint8_t flags : {0x00, 0x01, 0x04, 0x08, 0x10, 0x1D}) {
        SCOPED_TRACE(int(flags));
        Bytes restored;
        EXPECT_EQ(Decompress(MemberWithFields(data, flags), &restored), "");
        EXPECT_EQ(restored, data);
    }
}

TEST(ZipCodec, RefusedHeadersFailTheUnzipping)
{
    Bytes member = Compress(TextBytes(1000, 18));
    struct Case {
        const char* name;
        size_t at;
        uint8_t value;
    } cases[] = {
        {"header CRC flag", 3, 0x0A},
        {"encrypted flag", 3, 0x28},
        {"reserved flag 0x40", 3, 0x48},
        {"reserved flag 0x80", 3, 0x88},
        {"method 7", 2, 7},
        {"not gzip", 1, 0x8C},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes changed = member;
        changed[c.at] = c.value;
        EXPECT_EQ(Decompress(changed), kUnzipFailed);
    }
    EXPECT_EQ(Decompress({'p', 'l', 'a', 'i', 'n', ' ', 't', 'e', 'x', 't'}), kUnzipFailed);
}

TEST(ZipCodec, OldGzipMagicIsAccepted)
{
    Bytes data = TextBytes(3000, 19);
    Bytes member = Compress(data);
    member[1] = 0x9E;
    Bytes restored;
    EXPECT_EQ(Decompress(member, &restored), "");
    EXPECT_EQ(restored, data);
}

TEST(ZipCodec, OtherCompressorsFormatsFailTheOperation)
{
    // LZW ("compress"), Huffman "pack" and LZH data.
    for (uint8_t magic : {0x9D, 0x1E, 0xA0}) {
        SCOPED_TRACE(int(magic));
        EXPECT_EQ(Decompress({0x1F, magic, 0x90, 'a', 'b', 'c', 0, 0, 0, 0}), kOperationFailed);
    }
}

TEST(ZipCodec, EmptyAndTruncatedInputFail)
{
    Bytes member = Compress(TextBytes(3000, 20));
    for (size_t size = 0; size < member.size(); ++size) {
        SCOPED_TRACE(size);
        ASSERT_EQ(Decompress(Bytes(member.begin(), member.begin() + size)), kOperationFailed);
    }
}

TEST(ZipCodec, CorruptedCrcFailsAfterTheWholeOutput)
{
    Bytes data = TextBytes(100000, 21);
    Bytes member = Compress(data);
    member[member.size() - 8] ^= 1;
    Bytes restored;
    EXPECT_EQ(Decompress(member, &restored), kOperationFailed);
    EXPECT_EQ(restored, data);

    member = Compress(data);
    member[member.size() - 1] ^= 1;
    EXPECT_EQ(Decompress(member), kOperationFailed);
}

TEST(ZipCodec, CorruptedDataFails)
{
    Bytes data = TextBytes(20000, 22);
    Bytes member = Compress(data);
    size_t body = kHeaderSize + std::strlen("plain.bin") + 1;
    Random random(23);
    for (int trial = 0; trial < 40; ++trial) {
        Bytes changed = member;
        // Inside the stream, away from the padding bits of its last byte.
        size_t at = body + random.Next() % (member.size() - body - kTrailerSize - 1);
        changed[at] ^= static_cast<uint8_t>(1u << (random.Next() % 8));
        SCOPED_TRACE(at);
        EXPECT_EQ(Decompress(changed), kOperationFailed);
    }
}

TEST(ZipCodec, OnlyTheFirstOfTwoMembersIsDecoded)
{
    Bytes first = TextBytes(5000, 24);
    Bytes two = Concat({Compress(first), Compress(RandomBytes(3000, 25))});
    Bytes restored;
    EXPECT_EQ(Decompress(two, &restored), "");
    EXPECT_EQ(restored, first);
}

// Pieces compressed apart as segments, joined with a combined CRC into one
// member, decode as their concatenation.
TEST(ZipCodec, SegmentsJoinIntoOneMember)
{
    const std::vector<Bytes> pieces = {TextBytes(70000, 27), Bytes(), RandomBytes(40000, 28), RunBytes(300000)};
    std::string header = GzipMemberHeader("joined", 0);
    Bytes member(header.begin(), header.end()), whole;
    uint32_t crc = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
        WriteBytes("piece.bin", pieces[i]);
        WriteSegmentFile(zip_engine::PathOfNarrowName("piece.bin"), zip_engine::PathOfNarrowName("piece.seg"));
        Bytes segment = ReadBytes("piece.seg");
        ASSERT_EQ(Le32(segment, segment.size() - 4), pieces[i].size());
        crc = Crc32Combine(crc, Le32(segment, segment.size() - kSegmentTrailerSize), pieces[i].size());
        member.insert(member.end(), segment.begin(), segment.end() - kSegmentTrailerSize);
        whole.insert(whole.end(), pieces[i].begin(), pieces[i].end());
    }
    member.insert(member.end(), std::begin(kLastEmptyBlock), std::end(kLastEmptyBlock));
    EXPECT_EQ(crc, ReferenceCrc32(whole));
    PutLe32(member, crc);
    PutLe32(member, static_cast<uint32_t>(whole.size()));
    Bytes restored;
    EXPECT_EQ(Decompress(member, &restored), "");
    EXPECT_EQ(restored, whole);
}

// ---- ZIP archives ---------------------------------------------------------------------

TEST(ZipCodec, FirstZipEntryIsDecoded)
{
    Bytes data = TextBytes(70000, 26);
    struct Case {
        const char* name;
        bool deflated;
        bool descriptor;
    } cases[] = {
        {"stored", false, false},
        {"deflated", true, false},
        {"deflated with data descriptor", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes restored;
        EXPECT_EQ(Decompress(ZipArchive({{"entry.bin", data, c.deflated, c.descriptor}}), &restored), "");
        EXPECT_EQ(restored, data);
    }
}

TEST(ZipCodec, DataDescriptorWithoutSignatureIsRead)
{
    Bytes data = TextBytes(3000, 27);
    Bytes archive = ZipArchive({{"entry.bin", data, true, true}});
    Bytes stream = DeflateStream(data);
    size_t descriptor = 30 + std::strlen("entry.bin") + stream.size();
    archive.erase(archive.begin() + descriptor, archive.begin() + descriptor + 4);
    Bytes restored;
    EXPECT_EQ(Decompress(archive, &restored), "");
    EXPECT_EQ(restored, data);
}

TEST(ZipCodec, SecondZipEntryFailsAfterWritingTheFirst)
{
    Bytes first = TextBytes(4000, 28);
    for (bool deflated : {false, true}) {
        SCOPED_TRACE(deflated);
        Bytes restored;
        Bytes archive = ZipArchive({{"a.bin", first, deflated, false}, {"b.bin", {'b'}, deflated, false}});
        EXPECT_EQ(Decompress(archive, &restored), kUnzipFailed);
        EXPECT_EQ(restored, first);
    }
}

TEST(ZipCodec, UnsupportedZipEntriesAreRefused)
{
    Bytes archive = ZipArchive({{"a.bin", TextBytes(100, 29), false, false}});
    Bytes bzip2 = archive;
    bzip2[8] = 12;
    EXPECT_EQ(Decompress(bzip2), kUnzipFailed);
    Bytes encrypted = archive;
    encrypted[6] |= 1;
    EXPECT_EQ(Decompress(encrypted), kUnzipFailed);
    Bytes overlongName = archive;
    overlongName[26] = 0xFF;
    overlongName[27] = 0xFF;
    EXPECT_EQ(Decompress(overlongName), kUnzipFailed);
}

TEST(ZipCodec, StoredZipEntryWithDifferingSizesFails)
{
    Bytes archive = ZipArchive({{"a.bin", TextBytes(100, 30), false, false}});
    archive[22] ^= 1;  // uncompressed size
    EXPECT_EQ(Decompress(archive), kOperationFailed);
}

TEST(ZipCodec, ZipEntryWithWrongCrcOrSizeFails)
{
    Bytes data = TextBytes(1000, 31);
    Bytes archive = ZipArchive({{"a.bin", data, true, false}});
    Bytes badCrc = archive;
    badCrc[14] ^= 1;
    EXPECT_EQ(Decompress(badCrc), kOperationFailed);
    Bytes badSize = archive;
    badSize[22] ^= 1;
    EXPECT_EQ(Decompress(badSize), kOperationFailed);
}

// ---- Engine state ------------------------------------------------------------------------

TEST(ZipCodec, AbortLeavesTheEngineUsable)
{
    Bytes data = TextBytes(40000, 32);
    EXPECT_EQ(FailureOf([] { AbortZipOperation(); }), kOperationFailed);
    Bytes restored;
    ASSERT_EQ(Decompress(Compress(data), &restored), "");
    EXPECT_EQ(restored, data);

    // A failure in the middle of a decompression, then the abort from outside.
    Bytes member = Compress(data);
    EXPECT_EQ(Decompress(Bytes(member.begin(), member.begin() + member.size() / 2)), kOperationFailed);
    EXPECT_EQ(FailureOf([] { AbortZipOperation(); }), kOperationFailed);
    ASSERT_EQ(Decompress(member, &restored), "");
    EXPECT_EQ(restored, data);
}

TEST(ZipCodec, FailureClosesTheOperationsFilesButNotTheCallers)
{
    Bytes member = Compress(TextBytes(20000, 33));
    WriteBytes("broken.gz", Bytes(member.begin(), member.begin() + 100));
    int target = OpenForAppending("target.bin");
    ASSERT_GE(target, 0);
    EXPECT_EQ(FailureOf([&] { CUnzip("broken.gz").ToDescriptor(target); }), kOperationFailed);
    EXPECT_TRUE(WriteDescriptor(target, "still open"));
    CloseDescriptor(target);
    EXPECT_EQ(std::remove("broken.gz"), 0);

    EXPECT_EQ(FailureOf([] { CUnzip("plain.bin").ToFile("target.bin"); }), kUnzipFailed);
    EXPECT_EQ(std::remove("plain.bin"), 0);
    EXPECT_EQ(std::remove("target.bin"), 0);
}

} // namespace
