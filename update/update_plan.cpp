#include "update/update_plan.h"

#include <algorithm>
#include <exception>

#include "support/text_utils.h"
#include "update/game_paths.h"
#include "update/needs_update.h"
#include "update/partial_package.h"

namespace {

uint64_t SafeEntriesSize(const FileIndex& index)
{
    uint64_t total = 0;
    for (const IndexEntry& entry : index.Entries()) {
        if (IsSafeEntryName(entry.name))
            total += entry.size;
    }
    return total;
}

// More than half of the package bytes or of the files is missing (halves
// rounded down).
bool WholeGamePays(const UpdatePlan& plan, size_t entryCount)
{
    return plan.indexTotal / 2 < plan.bytesToDownload || entryCount / 2 < plan.queue.size();
}

} // namespace

bool CGameFolderDisk::NeedsUpdate(const IndexEntry& entry)
{
    return FileNeedsUpdate(entry, gameFolder_, stop_);
}

uint64_t CGameFolderDisk::PartialSize(const IndexEntry& package)
{
    return ValidPartialSize(GamePath(gameFolder_, package.name), package.fileTime);
}

UpdatePlan PlanUpdate(const FileIndex& serverIndex, const FileIndex* cachedIndex, const PlanSettings& settings,
                      IPlanDisk& disk, IUnpackEventReceiver& progress)
{
    UpdatePlan plan;
    const FileIndex* against = settings.integrityCheck ? nullptr : cachedIndex;
    if (settings.integrityCheck)
        progress.OnUnpackBegin(SafeEntriesSize(serverIndex));

    size_t entryCount = 0;
    for (const IndexEntry& entry : serverIndex.Entries()) {
        if (plan.launcherTaken && !settings.integrityCheck)
            break;
        if (!IsSafeEntryName(entry.name)) {
            plan.unsafeNames.push_back(entry.name);
            continue;
        }
        ++entryCount;
        plan.indexTotal += entry.packageSize;

        // Its update was dealt with in this run, or skipped: what the disk
        // holds stays until the next run.
        const bool launcher = entry.name.find_first_of(L"\\/") == std::wstring::npos &&
                              SameEntryName(entry.name, settings.launcherName);
        if (launcher && settings.launcherHandled)
            continue;

        bool needsUpdate;
        try {
            const IndexEntry* cached = against ? against->Find(entry.name) : nullptr;
            needsUpdate = cached ? CachedEntryDiffers(entry, *cached) : disk.NeedsUpdate(entry);
            if (!cached && !needsUpdate && !settings.integrityCheck)
                plan.foundOnDisk.push_back(entry);
        } catch (const std::exception& e) {
            plan.failure = AnsiToWide(e.what());
            return plan;
        }

        if (settings.integrityCheck) {
            if (!needsUpdate)
                plan.checkedIndex.Append(entry);
            progress.OnUnpackBytes(static_cast<uint32_t>(entry.size));
        }
        if (!needsUpdate)
            continue;

        IndexEntry package = entry;
        package.name = PackageName(entry.name);
        // A partial package longer than the whole leaves nothing to count.
        plan.bytesToDownload += entry.packageSize - std::min(disk.PartialSize(package), entry.packageSize);
        // Safe names hold no "." or ".." parts, so they are canonical as they stand.
        if (!plan.launcherTaken && launcher) {
            plan.queue.clear();
            plan.bytesToDownload = entry.packageSize;
            plan.launcherTaken = true;
        }
        plan.queue.push_back(std::move(package));
    }

    plan.wholeGame = settings.singlePackageDownload && !plan.launcherTaken && WholeGamePays(plan, entryCount);
    return plan;
}
