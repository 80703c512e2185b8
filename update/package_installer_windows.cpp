// The package installer's disk: the game folder through the system and the
// gzip codec; the installer itself is in package_installer.cpp.
#include "update/package_installer.h"

#include <windows.h>

#include "support/gzip/zip_codec.h"
#include "support/text_utils.h"
#include "update/file_digest.h"
#include "update/single_package.h"

std::optional<uint64_t> CGameFolderInstallDisk::Size(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    return static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

bool CGameFolderInstallDisk::Remove(const std::wstring& path)
{
    return RemoveOldTarget(path);
}

bool CGameFolderInstallDisk::Unpack(const std::wstring& package, const std::wstring& target, std::wstring& failure)
{
    try {
        UnpackSinglePackage(package, target, stop_);
        return true;
    } catch (const CZipException& e) {
        failure = AnsiToWide(e.Text());
        return false;
    }
}

bool CGameFolderInstallDisk::Matches(const std::wstring& path, const IndexEntry& entry, bool checkDigest,
                                     std::wstring& failure)
{
    if (Size(path).value_or(0) != entry.size)
        return false;
    if (!checkDigest || entry.size == 0)
        return true;
    try {
        return FileDigest(path, stop_) == entry.md5;
    } catch (const std::exception& e) {
        failure = AnsiToWide(e.what());
        return false;
    }
}

void CGameFolderInstallDisk::Delete(const std::wstring& path)
{
    ::DeleteFileW(path.c_str());
}
