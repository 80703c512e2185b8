#pragma once
// The file index: the list of the game's files with their times, sizes,
// package sizes and digests. One binary format serves the server's
// "fileindex.dat", the launcher's "cachedindex.dat" and the head of the
// whole-game package.
//
// Layout, little-endian without padding: version (4 bytes, always 2), entry
// count N (4), N records, then a 16-byte checksum (optional when read). A
// record: file time (8), size (4), package size (4), name length L (2), the
// name in well-formed UTF-8 (L bytes), MD5 of the content (16). The checksum is the MD5 of
// a fixed salt followed by every byte before it.

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "update/entry_name.h"
#include "update/md5_digest.h"

// A source of index bytes: a CRT descriptor, a Win32 handle, memory.
class IndexInput {
public:
    virtual ~IndexInput() = default;
    // Some bytes, 0 at the end, negative on an error.
    virtual int ReadSome(void* buffer, unsigned size) = 0;
};

#ifdef _WIN32
// Index bytes from a Win32 handle: the unpacker's pipe.
class HandleIndexInput final : public IndexInput {
public:
    explicit HandleIndexInput(HANDLE handle) : handle_(handle) {}
    int ReadSome(void* buffer, unsigned size) override;

private:
    HANDLE handle_;
};
#endif

struct IndexEntry {
    // Last-write time the file must carry, in 100 ns units since 1601 (UTC).
    uint64_t fileTime = 0;
    // Only the low 32 bits of both sizes are stored in index files.
    uint64_t size = 0;
    uint64_t packageSize = 0;
    // Relative to the game folder, letter case as the server spells it.
    std::wstring name;
    Md5Hash md5{};
};

class FileIndex {
public:
    // Read failures keep the entries read before the damage, so a caller may
    // go on with them. Both throw std::runtime_error only when the digest
    // provider fails while a checksum is verified.
    //
    // True when a complete version-2 index was read and, if it carries a
    // checksum and verify is set, the checksum is correct. Reads no further
    // than the checksum.
    bool ReadFrom(IndexInput& input, bool verify);
    // False when the file cannot be opened, otherwise as ReadFrom with
    // verification.
    bool ReadFromFile(const std::wstring& path);
    // As ReadFrom on a descriptor.
    bool ReadFromDescriptor(int descriptor, bool verify);

    // 0, or -1 when the file cannot be created or written, or a name is too
    // long for its 16-bit length field. The file is replaced in one step: a
    // kill or a power loss mid-write leaves the old index, never a damaged one.
    int WriteToFile(const std::wstring& path) const;
    // The complete file image with its checksum; false when a name is too
    // long for its length field.
    bool Serialize(std::string& image) const;

    // The first entry whose name equals the given one ignoring letter case
    // (SameEntryName), in constant time on average.
    const IndexEntry* Find(const std::wstring& name) const;
    // Replaces the first entry of the same name in place, else appends.
    void AddOrReplace(const IndexEntry& entry);
    void Append(const IndexEntry& entry);
    // Removes the first entry of that name, if any.
    void Remove(const std::wstring& name);
    // Empties the list; the flags stay.
    void Clear();

    const std::vector<IndexEntry>& Entries() const { return entries_; }
    uint64_t TotalSize() const;

    // The version word was 2.
    bool HasHashes() const { return hasHashes_; }
    // A complete 16-byte checksum followed the entries.
    bool ChecksumPresent() const { return checksumPresent_; }
    // It was verified and matched.
    bool ChecksumCorrect() const { return checksumCorrect_; }

private:
    void PushBack(IndexEntry entry);

    std::vector<IndexEntry> entries_;
    // Key of each name (EntryNameKey) to the position of its first entry.
    std::unordered_map<std::wstring, size_t> firstPositions_;
    bool hasHashes_ = false;
    bool checksumPresent_ = false;
    bool checksumCorrect_ = false;
};
