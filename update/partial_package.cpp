#include "update/partial_package.h"

DWORD ValidPartialSize(const std::wstring& packagePath, uint64_t fileTime)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(packagePath.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    const uint64_t lastWrite =
        static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
    return lastWrite == fileTime ? data.nFileSizeLow : 0;
}
