#include "support/file_replace.h"

#include <windows.h>

#include "support/win_handles.h"

namespace {

const wchar_t kTemporarySuffix[] = L".new";
const DWORD kWriteChunk = 1 << 20;

bool WriteAll(HANDLE file, const char* data, size_t size)
{
    while (size != 0) {
        const DWORD chunk = size < kWriteChunk ? static_cast<DWORD>(size) : kWriteChunk;
        DWORD written = 0;
        if (!::WriteFile(file, data, chunk, &written, nullptr))
            return false;
        if (written != chunk) {
            ::SetLastError(ERROR_DISK_FULL);
            return false;
        }
        data += chunk;
        size -= chunk;
    }
    return true;
}

// Keeps the error that made the replacement fail, not the clean-up's.
bool Abandon(const std::wstring& temporary)
{
    const DWORD error = ::GetLastError();
    ::DeleteFileW(temporary.c_str());
    ::SetLastError(error);
    return false;
}

bool MoveOver(const std::wstring& temporary, const std::wstring& target)
{
    if (!::MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return Abandon(temporary);
    return true;
}

} // namespace

bool WriteFileReplacing(const std::wstring& target, const void* data, size_t size)
{
    const std::wstring temporary = target + kTemporarySuffix;
    {
        UniqueHandle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            return false;
        if (!WriteAll(file.Get(), static_cast<const char*>(data), size) || !::FlushFileBuffers(file.Get())) {
            file.Reset();
            return Abandon(temporary);
        }
    }
    return MoveOver(temporary, target);
}

bool CopyFileReplacing(const std::wstring& source, const std::wstring& target)
{
    const std::wstring temporary = target + kTemporarySuffix;
    if (!::CopyFileW(source.c_str(), temporary.c_str(), FALSE))
        return Abandon(temporary);
    {
        UniqueHandle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!file || !::FlushFileBuffers(file.Get())) {
            file.Reset();
            return Abandon(temporary);
        }
    }
    return MoveOver(temporary, target);
}
