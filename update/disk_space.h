#pragma once
// Room on the game's drive for a plan, asked before anything is fetched. A
// single package is unpacked and deleted before the next one arrives, so
// file by file needs the files' growth and the largest package still to
// come; the whole-game package stays until its last file is written, so that
// road needs the package and the files' growth at once.

#include <cstdint>
#include <string>

#include "update/file_index.h"
#include "update/update_plan.h"

// Kept free beyond what the plan needs: the cached index, the journal and
// whatever the system writes meanwhile.
const uint64_t kDiskSpaceMargin = 4 * 1024 * 1024;

struct SpaceNeeds {
    uint64_t fileByFile = 0;
    uint64_t wholeGame = 0;
};

// Both roads' needs, margin included. wholePackageHeld: bytes of the
// whole-game package already on disk.
SpaceNeeds PlanSpaceNeeds(const UpdatePlan& plan, const FileIndex& serverIndex, uint64_t wholePackageHeld,
                          const std::wstring& gameFolder, IPlanDisk& disk);

struct DriveSpace {
    // False when the system cannot tell; the run then goes on as if there
    // were room, and a full disk is a failure like any other.
    bool known = false;
    uint64_t free = 0;
    // The drive as the player knows it: "D:", or the share of a network path.
    std::wstring drive;
};

DriveSpace FreeSpaceOf(const std::wstring& folder);
