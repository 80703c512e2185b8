#pragma once
// The self-update decision: the package holds a new launcher executable,
// which cannot replace the running file. It is unpacked beside it and checked
// against its entry; when it differs from the running executable the run
// hands over to it. From the hand-over on nothing vouches for the launcher
// file: the new launcher hashes itself on disk, and a hand-over that never
// completes is tried again by the next run.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "update/cache_keeper.h"
#include "update/file_index.h"
#include "update/launcher_handover.h"

// What the decision asks of the update run.
class ISelfUpdateRun {
public:
    // One line of the update log, without its line end.
    virtual void LogLine(const std::wstring& text) = 0;
    virtual void Date(const std::wstring& path, uint64_t fileTime) = 0;
    // The file has the entry's size and digest; a mismatch is logged.
    virtual bool Matches(const std::wstring& path, const IndexEntry& entry) = 0;

protected:
    ~ISelfUpdateRun() = default;
};

enum class SelfUpdateOutcome {
    // The package holds the running executable: it is vouched for as it is.
    NotRequired,
    // The copy was started and the window asked to close.
    HandedOver,
    // The update cannot be made in this run (a stale copy that cannot be
    // deleted, a package that does not decompress, a copy that cannot be
    // started); the run goes on without it.
    Skipped,
    // The package is not the one the entry describes.
    Mismatch,
};

class CSelfUpdateDecision {
public:
    CSelfUpdateDecision(ILauncherHandover& handover, CCacheKeeper& keeper, ISelfUpdateRun& run)
        : handover_(handover), keeper_(keeper), run_(run)
    {
    }

    // target: the running launcher's path; entry named after it. closing is
    // set once the hand-over is under way.
    SelfUpdateOutcome Decide(const std::wstring& target, const std::wstring& package, const IndexEntry& entry,
                             HWND window, std::atomic<bool>& closing);

private:
    SelfUpdateOutcome Skip(const std::wstring& lines);

    ILauncherHandover& handover_;
    CCacheKeeper& keeper_;
    ISelfUpdateRun& run_;
};
