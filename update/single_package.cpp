#include "update/single_package.h"

#include <windows.h>

#include "support/gzip/zip_codec.h"
#include "support/text_utils.h"

namespace {

// The codec opens its files by ANSI name. A name the ANSI code page cannot
// spell (Cyrillic on a Western system) is unpacked through these stand-ins in
// the current folder, which is the game folder.
const wchar_t kPackageStandIn[] = L"~unpacking.tmp.zip";
const wchar_t kTargetStandIn[] = L"~unpacking.tmp";
const DWORD kMoveFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED;

bool SpelledInAnsi(const std::wstring& name)
{
    return AnsiToWide(WideToAnsi(name)) == name;
}

void Unpack(const std::wstring& package, const std::wstring& target)
{
    CUnzip(WideToAnsi(package).c_str()).ToFile(WideToAnsi(target).c_str());
}

void UnpackThroughStandIns(const std::wstring& package, const std::wstring& target)
{
    if (!::MoveFileExW(package.c_str(), kPackageStandIn, kMoveFlags))
        throw CZipException("unable to open source file");
    try {
        Unpack(kPackageStandIn, kTargetStandIn);
    } catch (const CZipException&) {
        ::DeleteFileW(kPackageStandIn);
        ::DeleteFileW(kTargetStandIn);
        throw;
    }
    ::DeleteFileW(kPackageStandIn);
    if (!::MoveFileExW(kTargetStandIn, target.c_str(), kMoveFlags)) {
        ::DeleteFileW(kTargetStandIn);
        throw CZipException("unable to create target file");
    }
}

} // namespace

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
        if (SpelledInAnsi(package) && SpelledInAnsi(target))
            Unpack(package, target);
        else
            UnpackThroughStandIns(package, target);
    } catch (const CZipException&) {
        ::DeleteFileW(package.c_str());
        throw;
    }
    ::DeleteFileW(package.c_str());
}
