#include "tools/publisher/joined_member.h"

#include <windows.h>

#include "support/gzip/crc32_combine.h"
#include "support/gzip/deflate_segment.h"
#include "support/win_handles.h"
#include "tools/publisher/publish_error.h"
#include "tools/publisher/tree_files.h"

namespace {

const DWORD kCopyChunk = 1024 * 1024;
const wchar_t kPartSuffix[] = L".part";

uint32_t Le32(const unsigned char* bytes)
{
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

std::string Le32Bytes(uint32_t value)
{
    std::string bytes;
    for (int shift = 0; shift < 32; shift += 8)
        bytes += static_cast<char>(value >> shift);
    return bytes;
}

uint64_t SegmentSize(const std::wstring& segment)
{
    uint64_t size = 0, fileTime = 0;
    if (!StatFile(segment, size, fileTime) || size < kSegmentTrailerSize)
        throw PublishError(L"the segment " + segment + L" is missing or damaged");
    return size;
}

void ReadExactly(HANDLE file, char* buffer, DWORD size, const std::wstring& path)
{
    DWORD got = 0;
    if (!::ReadFile(file, buffer, size, &got, nullptr) || got != size)
        ThrowLastError(L"cannot read " + path);
}

// Copies a segment's data to the member and returns its trailer.
void AppendSegment(HANDLE member, const std::wstring& target, const std::wstring& segment, std::vector<char>& chunk,
                   uint32_t& crc, uint32_t& length)
{
    uint64_t left = SegmentSize(segment) - kSegmentTrailerSize;
    UniqueHandle source(::CreateFileW(segment.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!source)
        ThrowLastError(L"cannot read " + segment);
    while (left > 0) {
        DWORD part = static_cast<DWORD>(left < kCopyChunk ? left : kCopyChunk);
        ReadExactly(source.Get(), chunk.data(), part, segment);
        WriteAll(member, chunk.data(), part, target);
        left -= part;
    }
    unsigned char trailer[kSegmentTrailerSize];
    ReadExactly(source.Get(), reinterpret_cast<char*>(trailer), sizeof trailer, segment);
    crc = Le32(trailer);
    length = Le32(trailer + 4);
}

} // namespace

uint64_t JoinedMemberSize(const MemberHeader& header, const std::vector<std::wstring>& segments)
{
    uint64_t size = GzipMemberHeader(header.name, header.time).size() + sizeof kLastEmptyBlock + kSegmentTrailerSize;
    for (const std::wstring& segment : segments)
        size += SegmentSize(segment) - kSegmentTrailerSize;
    return size;
}

uint64_t WriteJoinedMember(const std::wstring& target, const MemberHeader& header,
                           const std::vector<std::wstring>& segments)
{
    const std::wstring part = target + kPartSuffix;
    CreateParentFolders(part);
    uint64_t size = 0;
    {
        UniqueHandle member(
            ::CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!member)
            ThrowLastError(L"cannot create " + part);
        std::string head = GzipMemberHeader(header.name, header.time);
        WriteAll(member.Get(), head.data(), head.size(), part);
        std::vector<char> chunk(kCopyChunk);
        uint32_t crc = 0, length = 0;
        for (const std::wstring& segment : segments) {
            uint32_t segmentCrc = 0, segmentLength = 0;
            AppendSegment(member.Get(), part, segment, chunk, segmentCrc, segmentLength);
            crc = Crc32Combine(crc, segmentCrc, segmentLength);
            length += segmentLength;
        }
        std::string tail(reinterpret_cast<const char*>(kLastEmptyBlock), sizeof kLastEmptyBlock);
        tail += Le32Bytes(crc) + Le32Bytes(length);
        WriteAll(member.Get(), tail.data(), tail.size(), part);
        LARGE_INTEGER end;
        ::SetFilePointerEx(member.Get(), LARGE_INTEGER{}, &end, FILE_CURRENT);
        size = static_cast<uint64_t>(end.QuadPart);
        if (!::CloseHandle(member.Release()))
            ThrowLastError(L"cannot write " + part);
    }
    MoveIntoPlace(part, target);
    return size;
}
