#pragma once
// One gzip member whose DEFLATE stream is DEFLATE segments joined: the
// launcher's codec decodes only a file's first member, so a package built
// from pieces must still be exactly one.

#include <cstdint>
#include <string>
#include <vector>

struct MemberHeader {
    // The name field (a file name without folders) and the time stamp.
    std::string name;
    uint32_t time = 0;
};

// Writes header, the segments' data in order, the last block, the combined
// CRC-32 and the summed length to target, through a work file beside it.
// Returns the member's size. Throws PublishError.
uint64_t WriteJoinedMember(const std::wstring& target, const MemberHeader& header,
                           const std::vector<std::wstring>& segments);

// The sizes the joined member will have: compressed data of the segments
// plus what the member adds around them.
uint64_t JoinedMemberSize(const MemberHeader& header, const std::vector<std::wstring>& segments);
