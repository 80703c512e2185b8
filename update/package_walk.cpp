#include "update/package_walk.h"

#include <algorithm>

#include "update/game_paths.h"

namespace {

const unsigned kWriteChunkSize = 65536;

} // namespace

PackageWalk::PackageWalk(IndexInput& stream, IPackageFiles& files, IUnpackEventReceiver* receiver,
                         FileIndex& index)
    : stream_(stream), files_(files), receiver_(receiver), index_(index), chunk_(kWriteChunkSize)
{
}

WalkResult PackageWalk::Run()
{
    if (!index_.ReadFrom(stream_, false))
        return WalkResult::Failed;
    for (const IndexEntry& entry : index_.Entries()) {
        if (!IsSafeEntryName(entry.name))
            return WalkResult::Failed;
    }
    if (receiver_)
        receiver_->OnUnpackBegin(index_.TotalSize());
    std::vector<std::wstring> leftAlone;
    for (const IndexEntry& entry : index_.Entries()) {
        if (files_.StopRequested())
            return WalkResult::Stopped;
        // The running launcher updates itself on its own road, so it is no
        // part of what this package installed.
        if (files_.IsLauncher(entry.name)) {
            if (!PassEntryBytes(entry, false))
                return Failure();
            leftAlone.push_back(entry.name);
            continue;
        }
        if (!WriteOneFile(entry))
            return Failure();
        if (receiver_)
            receiver_->OnUnpackFileDone(entry);
    }
    if (!StreamHasEnded())
        return WalkResult::Failed;
    for (const std::wstring& name : leftAlone)
        index_.Remove(name);
    return WalkResult::Succeeded;
}

// A failure seen after a stop request is the stop's doing.
WalkResult PackageWalk::Failure()
{
    return files_.StopRequested() ? WalkResult::Stopped : WalkResult::Failed;
}

// The entry's bytes from the stream, with progress; stored ones are digested
// and written to the open file.
bool PackageWalk::PassEntryBytes(const IndexEntry& entry, bool store)
{
    const bool check = store && index_.HasHashes();
    uint32_t remaining = static_cast<uint32_t>(entry.size);
    while (remaining != 0 && !files_.StopRequested()) {
        int got = stream_.ReadSome(chunk_.data(), std::min(remaining, kWriteChunkSize));
        if (got <= 0)
            return false;
        if (check)
            digest_.Update(chunk_.data(), static_cast<size_t>(got));
        if (receiver_)
            receiver_->OnUnpackBytes(static_cast<uint32_t>(got));
        // The digest covers the stream, not the disk: a short or failed
        // write (a full disk) must fail the file on its own.
        if (store && !files_.Write(chunk_.data(), static_cast<size_t>(got)))
            return false;
        remaining -= static_cast<uint32_t>(got);
    }
    return remaining == 0;
}

bool PackageWalk::WriteOneFile(const IndexEntry& entry)
{
    if (receiver_)
        receiver_->OnUnpackFileBegin(entry);
    if (!files_.Open(entry.name))
        return false;
    // Each file starts a new digest: the previous one was taken, or none
    // was started.
    if (!PassEntryBytes(entry, true))
        return false;
    if (!files_.Close(entry.fileTime))
        return false;
    if (index_.HasHashes() && entry.size != 0)
        return digest_.Digest() == entry.md5;
    return true;
}

// The package holds the indexed files and nothing more. The stream's writer
// ends it as soon as it is done, so this read never waits for data that
// cannot come.
bool PackageWalk::StreamHasEnded()
{
    return stream_.ReadSome(chunk_.data(), 1) <= 0;
}
