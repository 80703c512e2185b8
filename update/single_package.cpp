#include "update/single_package.h"

#include <windows.h>

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

void UnpackSinglePackage(const std::wstring& package, const std::wstring& target)
{
    try {
        CUnzip(package.c_str()).ToFile(target.c_str());
    } catch (const CZipException&) {
        ::DeleteFileW(package.c_str());
        throw;
    }
    ::DeleteFileW(package.c_str());
}
