#include "update/package_installer.h"

bool PackageIsWhole(const IndexEntry& entry, const std::wstring& packagePath, IInstallDisk& disk,
                    uint64_t& received)
{
    const std::optional<uint64_t> size = disk.Size(packagePath);
    received = size.value_or(0);
    return size && *size == entry.packageSize && entry.packageSize != 0;
}

InstallOutcome InstallPackage(const IndexEntry& entry, const std::wstring& packagePath, const std::wstring& target,
                              bool checkDigest, IInstallDisk& disk, CCacheKeeper& keeper)
{
    InstallOutcome outcome;
    if (!PackageIsWhole(entry, packagePath, disk, outcome.received)) {
        disk.Delete(packagePath);
        outcome.result = InstallResult::WrongSize;
        return outcome;
    }
    keeper.Unvouch(entry.name);
    if (!disk.Remove(target)) {
        outcome.result = InstallResult::TargetLocked;
        return outcome;
    }
    if (!disk.Unpack(packagePath, target, outcome.failure)) {
        outcome.result = InstallResult::UnpackFailed;
        return outcome;
    }
    if (!disk.Matches(target, entry, checkDigest, outcome.failure)) {
        outcome.result = InstallResult::Mismatch;
        return outcome;
    }
    keeper.Vouch(entry);
    return outcome;
}
