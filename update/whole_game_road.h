#pragma once
// The whole-game road: when more than half of the game is missing, one
// package that holds the server's index and every file it lists is fetched
// (resumed from whatever lies on disk) and unpacked over the game folder.
// The pass decides when to take it and what follows; this is the package's
// own part: its cap, its figures and its unpack.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "update/cache_keeper.h"
#include "update/file_index.h"
#include "update/launcher_window.h"
#include "update/package_installer.h"
#include "update/run_progress.h"
#include "update/unpack_progress.h"

class CWholeGameRoad {
public:
    CWholeGameRoad(ILauncherWindow& window, RunProgress& progress, CCacheKeeper& keeper, IInstallDisk& disk,
                   const std::wstring& gameFolder, const std::wstring& productKeyWord);

    // The package's name below the game folder, and its path.
    const std::wstring& PackageName() const { return name_; }
    const std::wstring& PackagePath() const { return path_; }
    // Bytes of the package on disk: where its download continues.
    DWORD BytesOnDisk();
    // The most the package may hold for this index: its files and the index,
    // with the growth of data that does not shrink.
    static uint64_t PackageCap(const FileIndex& index);
    // The answer announced the package: it becomes the run's one file, its
    // bytes on disk counted as done. Returns it as a queue entry.
    IndexEntry Announce(DWORD totalSize);
    // Unpacks the package; every file it finished and checked is vouched for,
    // the one it was writing when it failed or stopped is not. The number of
    // files, or nothing when it failed or was stopped. A package that
    // unpacked or failed is deleted; a stopped one is kept.
    std::optional<int> Unpack(HANDLE stopEvent);

private:
    ILauncherWindow& window_;
    RunProgress& progress_;
    CCacheKeeper& keeper_;
    IInstallDisk& disk_;
    CUnpackProgress unpackProgress_;
    const std::wstring name_;
    const std::wstring path_;
};
