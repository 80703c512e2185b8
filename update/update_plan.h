#pragma once
// Planning of an update pass: which packages to fetch, in which order, and
// whether to fetch the whole-game package instead. A function of the server
// index, the cached index and what the disk says, so that every decision can
// be checked in memory; the run around it fetches and applies.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "update/file_index.h"
#include "update/package_unpacker.h"

// What planning asks the disk.
class IPlanDisk {
public:
    // Whether the file of an entry that the cached index does not vouch for
    // must be fetched. May throw std::exception while hashing.
    virtual bool NeedsUpdate(const IndexEntry& entry) = 0;
    // Bytes of the package of a queued entry (its name carries ".zip") that
    // a download may continue from; 0 to start over.
    virtual uint64_t PartialSize(const IndexEntry& package) = 0;

protected:
    ~IPlanDisk() = default;
};

// The game folder, asked through the update rule and the resume rule.
// Hashing ends with a failure once *stop is set.
class CGameFolderDisk : public IPlanDisk {
public:
    explicit CGameFolderDisk(std::wstring gameFolder, const std::atomic<bool>* stop = nullptr)
        : gameFolder_(std::move(gameFolder)), stop_(stop)
    {
    }

    bool NeedsUpdate(const IndexEntry& entry) override;
    uint64_t PartialSize(const IndexEntry& package) override;

private:
    std::wstring gameFolder_;
    const std::atomic<bool>* stop_;
};

struct PlanSettings {
    // File name of the running executable: its entry is fetched first and alone.
    std::wstring launcherName;
    // Every file is checked on disk and the cached index is rebuilt.
    bool integrityCheck = false;
    // The whole-game package may replace many single packages.
    bool singlePackageDownload = true;
    // The launcher's own entry was dealt with in this run, or its update
    // skipped: it is passed over.
    bool launcherHandled = false;
};

struct UpdatePlan {
    // Entries to fetch, in index order, each named after its package (".zip" appended).
    std::vector<IndexEntry> queue;
    // Package bytes of every entry looked at.
    uint64_t indexTotal = 0;
    // Package bytes still missing for the queue.
    uint64_t bytesToDownload = 0;
    // The launcher's entry needs update and heads the queue; outside the
    // integrity check it is the whole queue.
    bool launcherTaken = false;
    // So much is missing that the whole-game package is fetched instead.
    bool wholeGame = false;
    // Integrity check: the entries found current, in index order, which
    // become the cached index.
    FileIndex checkedIndex;
    // Otherwise: entries the cached index did not vouch for that the disk
    // showed current, checked by size and digest.
    std::vector<IndexEntry> foundOnDisk;
    // Entries whose names would leave the game folder, left out of everything.
    std::vector<std::wstring> unsafeNames;
    // A hashing failure ended the plan early; its text. Empty when complete.
    std::wstring failure;
};

// Compares every entry of the server index with the cached index (or, in
// the integrity check or without one, with the disk). The integrity check
// reports its progress to the receiver: OnUnpackBegin with the sum of all
// sizes, then OnUnpackBytes with each entry's size.
UpdatePlan PlanUpdate(const FileIndex& serverIndex, const FileIndex* cachedIndex, const PlanSettings& settings,
                      IPlanDisk& disk, IUnpackEventReceiver& progress);
