#include "update/whole_game_road.h"

#include <algorithm>

#include "services/string_ids.h"
#include "services/string_table.h"
#include "update/game_paths.h"
#include "update/package_unpacker.h"

namespace {

// Stored blocks add a few bytes per block to data that does not shrink.
const uint64_t kIncompressibleGrowth = 1000;
const uint64_t kPackageSlack = 1024 * 1024;

uint64_t Now()
{
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    return static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
}

} // namespace

CWholeGameRoad::CWholeGameRoad(ILauncherWindow& window, RunProgress& progress, CCacheKeeper& keeper,
                               IInstallDisk& disk, const std::wstring& gameFolder,
                               const std::wstring& productKeyWord)
    : window_(window),
      progress_(progress),
      keeper_(keeper),
      disk_(disk),
      unpackProgress_(window, progress, &keeper),
      name_(FullPackageName(productKeyWord)),
      path_(GamePath(gameFolder, name_))
{
}

DWORD CWholeGameRoad::BytesOnDisk()
{
    return static_cast<DWORD>(disk_.Size(path_).value_or(0));
}

uint64_t CWholeGameRoad::PackageCap(const FileIndex& index)
{
    std::string image;
    index.Serialize(image);
    const uint64_t content = index.TotalSize() + image.size();
    return std::min<uint64_t>(content + content / kIncompressibleGrowth + kPackageSlack, MAXDWORD);
}

// The package carries no file time of its own: it is dated now.
IndexEntry CWholeGameRoad::Announce(DWORD totalSize)
{
    IndexEntry package;
    package.name = name_;
    package.packageSize = totalSize;
    package.size = totalSize;
    package.fileTime = Now();

    const DWORD onDisk = BytesOnDisk();
    progress_.currentFileBytes = onDisk;
    progress_.overallBytesDone = onDisk;
    progress_.bytesToDownload = totalSize;
    progress_.progressChanged = true;
    window_.SetTotalSize(totalSize, 1);
    window_.SetCurrentFile(totalSize, 0, name_.c_str());
    return package;
}

std::optional<int> CWholeGameRoad::Unpack(HANDLE stopEvent)
{
    progress_.speed = ILauncherWindow::kHideSpeed;
    progress_.speedChanged = true;
    const DWORD packageSize = BytesOnDisk();
    progress_.overallBytesDone = packageSize;
    progress_.bytesToDownload = packageSize;
    progress_.currentFileBytes = 0;
    window_.SetFileCaption(IDS_UNPACKING_GAME_DATA);

    FileIndex packageIndex;
    const bool unpacked = UnpackGamePackage(path_, &unpackProgress_, stopEvent, packageIndex);
    keeper_.Save();
    if (!unpacked && ::WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0)
        return std::nullopt;
    disk_.Delete(path_);
    if (!unpacked) {
        window_.AddLogText((LoadLangString(IDS_UNPACK_ERROR) + path_ + L"\r\n").c_str());
        return std::nullopt;
    }
    window_.SetFileCaption(IDS_DOWNLOADING);
    return static_cast<int>(packageIndex.Entries().size());
}
