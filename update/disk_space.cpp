#include "update/disk_space.h"

#include <windows.h>

#include <algorithm>

#include "update/game_paths.h"

namespace {

const DWORD kVolumePathChars = MAX_PATH + 1;

// What writing the entry's file adds to what its old file holds.
uint64_t Growth(const IndexEntry& file, const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    uint64_t old = 0;
    if (::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
        !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        old = static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    return file.size > old ? file.size - old : 0;
}

} // namespace

SpaceNeeds PlanSpaceNeeds(const UpdatePlan& plan, const FileIndex& serverIndex, uint64_t wholePackageHeld,
                          const std::wstring& gameFolder, IPlanDisk& disk)
{
    SpaceNeeds needs;
    uint64_t largestPackage = 0;
    for (const IndexEntry& package : plan.queue) {
        needs.fileByFile += Growth(package, GamePath(gameFolder, CarriedName(package.name)));
        const uint64_t held = disk.PartialSize(package);
        largestPackage = std::max(largestPackage, package.packageSize > held ? package.packageSize - held : 0);
    }
    needs.fileByFile += largestPackage + kDiskSpaceMargin;
    if (!plan.wholeGame)
        return needs;
    // The whole-game package holds every file's package and the index.
    uint64_t packageBytes = 0;
    for (const IndexEntry& file : serverIndex.Entries()) {
        if (!IsSafeEntryName(file.name))
            continue;
        packageBytes += file.packageSize;
        needs.wholeGame += Growth(file, GamePath(gameFolder, file.name));
    }
    needs.wholeGame += (packageBytes > wholePackageHeld ? packageBytes - wholePackageHeld : 0) + kDiskSpaceMargin;
    return needs;
}

DriveSpace FreeSpaceOf(const std::wstring& folder)
{
    DriveSpace space;
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr))
        return space;
    space.known = true;
    space.free = available.QuadPart;
    wchar_t volume[kVolumePathChars] = {};
    if (::GetVolumePathNameW(folder.c_str(), volume, kVolumePathChars)) {
        space.drive = volume;
        if (space.drive.size() > 1 && space.drive.back() == L'\\')
            space.drive.pop_back();
    } else {
        space.drive = folder;
    }
    return space;
}
