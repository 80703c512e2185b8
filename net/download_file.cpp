#include "net/download_file.h"

#include <shlwapi.h>

#include <algorithm>

#include "services/string_ids.h"
#include "services/string_table.h"
#include "support/folder_path.h"
#include "support/system_message.h"
#include "support/text_utils.h"

std::wstring LocalFilePath(const std::wstring& filePath)
{
    std::wstring path = filePath;
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

void CreateFolderOfFile(const std::wstring& filePath)
{
    wchar_t folder[MAX_PATH];
    lstrcpynW(folder, filePath.c_str(), MAX_PATH);
    if (::PathRemoveFileSpecW(folder) && folder[0] != L'\0')
        CreateFolderPath(folder);
}

DWORD ResumeOffset(const std::wstring& filePath, DWORD offset)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (offset == 0 || !::GetFileAttributesExW(filePath.c_str(), GetFileExInfoStandard, &data))
        return 0;
    ULARGE_INTEGER size;
    size.LowPart = data.nFileSizeLow;
    size.HighPart = data.nFileSizeHigh;
    return size.QuadPart >= offset ? offset : 0;
}

UniqueHandle OpenDownloadFile(const std::wstring& filePath, DWORD offset)
{
    UniqueHandle file(::CreateFileW(filePath.c_str(), GENERIC_WRITE, 0, nullptr, offset != 0 ? OPEN_ALWAYS : CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || offset == 0)
        return file;
    LARGE_INTEGER position;
    position.QuadPart = offset;
    if (!::SetFilePointerEx(file.Get(), position, nullptr, FILE_BEGIN) || !::SetEndOfFile(file.Get())) {
        DWORD error = ::GetLastError();
        file.Reset();
        ::SetLastError(error);
    }
    return file;
}

DWORD WriteChunk(HANDLE file, const void* data, DWORD count)
{
    DWORD written = 0;
    if (!::WriteFile(file, data, count, &written, nullptr))
        return ::GetLastError();
    return written == count ? 0 : ERROR_DISK_FULL;
}

std::wstring FileCreationErrorText(const std::wstring& filePath, DWORD code)
{
    std::wstring detail = SystemMessageText(code);
    return FormatString(LoadLangString(IDS_FILE_CREATION_ERROR), filePath.c_str(), detail.c_str());
}
