#include "update/single_package.h"

#include <windows.h>

#include <optional>

#include "support/gzip/zip_codec.h"

bool RemoveOldTarget(const std::wstring& target)
{
    DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        ::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    return ::DeleteFileW(target.c_str()) || ::GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES;
}

void UnpackSinglePackage(const std::wstring& package, const std::wstring& target, const std::atomic<bool>* stop)
{
    try {
        std::optional<CZipStopFlag> watch;
        if (stop)
            watch.emplace(*stop);
        CUnzip(package.c_str()).ToFile(target.c_str());
    } catch (const CZipException&) {
        if (!stop || !stop->load())
            ::DeleteFileW(package.c_str());
        throw;
    }
    ::DeleteFileW(package.c_str());
}
