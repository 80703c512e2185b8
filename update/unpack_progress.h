#pragma once
// Shows an unpack or an integrity check on the window's current-file bar.
// Given the cache keeper it also keeps what the cached index vouches for in
// step with the files the whole-game unpack writes: a file stops being
// vouched for before its first byte is written and is vouched for again
// once it was written and checked. The unpack calls it on its writing thread
// while the worker waits for it.

#include "update/cache_keeper.h"
#include "update/launcher_window.h"
#include "update/package_walk.h"
#include "update/run_progress.h"

class CUnpackProgress : public IUnpackEventReceiver {
public:
    CUnpackProgress(ILauncherWindow& window, RunProgress& progress, CCacheKeeper* keeper)
        : window_(window), progress_(progress), keeper_(keeper)
    {
    }

    void OnUnpackFileBegin(const IndexEntry& entry) override;
    void OnUnpackFileDone(const IndexEntry& entry) override;
    void OnUnpackBytes(uint32_t count) override;
    void OnUnpackBegin(uint64_t totalSize) override;

private:
    ILauncherWindow& window_;
    RunProgress& progress_;
    CCacheKeeper* keeper_;
};
