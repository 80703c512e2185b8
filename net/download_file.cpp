#include "net/download_file.h"

#include <shlwapi.h>

#include "services/string_ids.h"
#include "services/string_table.h"
#include "support/folder_path.h"
#include "support/system_message.h"
#include "support/text_utils.h"

void CreateFolderOfFile(const std::wstring& filePath)
{
    wchar_t folder[MAX_PATH];
    lstrcpynW(folder, filePath.c_str(), MAX_PATH);
    if (::PathRemoveFileSpecW(folder) && folder[0] != L'\0')
        CreateFolderPath(folder);
}

UniqueHandle OpenDownloadFile(const std::wstring& filePath, DWORD offset)
{
    UniqueHandle file(::CreateFileW(filePath.c_str(), GENERIC_WRITE, 0, nullptr, offset != 0 ? OPEN_ALWAYS : CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file && offset != 0) {
        ::SetFilePointer(file.Get(), static_cast<LONG>(offset), nullptr, FILE_BEGIN);
        ::SetEndOfFile(file.Get());
    }
    return file;
}

void WriteChunk(HANDLE file, const void* data, DWORD count)
{
    DWORD written = 0;
    ::WriteFile(file, data, count, &written, nullptr);
}

std::wstring FileCreationErrorText(const std::wstring& filePath, DWORD code)
{
    std::wstring detail = SystemMessageText(code);
    return FormatString(LoadLangString(IDS_FILE_CREATION_ERROR), filePath.c_str(), detail.c_str());
}
