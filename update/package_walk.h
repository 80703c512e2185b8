#pragma once
// The walk over the whole-game package's content: its index, the bytes of
// every indexed file in index order, then nothing more. It holds no file or
// thread of its own: the unpacker (package_unpacker.cpp) gives it the pipe
// and the game folder.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "update/file_index.h"
#include "update/md5_digest.h"

// Progress of an unpacking; the calls arrive on the writing thread.
class IUnpackEventReceiver {
public:
    // After a file was written, dated and checked.
    virtual void OnUnpackFileDone(const IndexEntry& entry) = 0;
    // After a chunk was read from the stream, before it is written.
    virtual void OnUnpackBytes(uint32_t count) = 0;
    // Once, after the index was read: the sum of all entries' sizes.
    virtual void OnUnpackBegin(uint64_t totalSize) = 0;
    // Before the first byte of a file is written.
    virtual void OnUnpackFileBegin(const IndexEntry&) {}

protected:
    ~IUnpackEventReceiver() = default;
};

// Where the walk's files go, one open at a time.
class IPackageFiles {
public:
    virtual bool StopRequested() = 0;
    // The running launcher, which cannot be overwritten: its bytes are
    // passed over.
    virtual bool IsLauncher(const std::wstring& name) = 0;
    // Creates or empties the file of an index name that IsSafeEntryName
    // accepted, with its folders.
    virtual bool Open(const std::wstring& name) = 0;
    virtual bool Write(const char* data, size_t size) = 0;
    // Dates the open file (100 ns units since 1601) and closes it.
    virtual bool Close(uint64_t fileTime) = 0;

protected:
    ~IPackageFiles() = default;
};

enum class WalkResult { Succeeded, Failed, Stopped };

class PackageWalk {
public:
    PackageWalk(IndexInput& stream, IPackageFiles& files, IUnpackEventReceiver* receiver, FileIndex& index);

    // Reads the index into index and writes its files. Succeeded exactly
    // when every name was safe, every file was written and matched its
    // digest and the stream ended after the last one; the launcher's entry
    // is then left out of index. Files written before a failure stay.
    WalkResult Run();

private:
    bool WriteOneFile(const IndexEntry& entry);
    bool PassEntryBytes(const IndexEntry& entry, bool store);
    bool StreamHasEnded();
    WalkResult Failure();

    IndexInput& stream_;
    IPackageFiles& files_;
    IUnpackEventReceiver* receiver_;
    FileIndex& index_;
    std::vector<char> chunk_;
    CMd5Digest digest_;
};
