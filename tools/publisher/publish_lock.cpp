#include "tools/publisher/publish_lock.h"

#include <windows.h>

#include <cwchar>

#include "support/text_utils.h"
#include "tools/publisher/publish_error.h"

namespace {

const DWORD kHolderTextMax = 256;
// A holder that just took the lock may not have written its name yet.
const int kHolderReadTries = 50;
const DWORD kHolderReadPause = 20;

std::string HolderText()
{
    SYSTEMTIME now;
    ::GetSystemTime(&now);
    wchar_t text[kHolderTextMax];
    std::swprintf(text, kHolderTextMax, L"pid %lu, started %04u-%02u-%02u %02u:%02u:%02u UTC",
                  ::GetCurrentProcessId(), now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
    return WideToUtf8(text);
}

std::wstring ReadHolder(const std::wstring& path)
{
    for (int attempt = 0; attempt < kHolderReadTries; ++attempt) {
        UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        char text[kHolderTextMax];
        DWORD got = 0;
        if (file && ::ReadFile(file.Get(), text, sizeof text, &got, nullptr) && got > 0)
            return Utf8ToWide(std::string(text, got));
        ::Sleep(kHolderReadPause);
    }
    return L"holder unknown";
}

} // namespace

CPublishLock::CPublishLock(const std::wstring& path)
    : file_(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                          nullptr))
{
    if (!file_) {
        if (::GetLastError() != ERROR_SHARING_VIOLATION)
            ThrowLastError(L"cannot open the lock file " + path);
        throw PublishError(L"another publisher run is publishing into this folder (" + ReadHolder(path) +
                           L"; lock file " + path + L")");
    }
    std::string text = HolderText();
    DWORD wrote = 0;
    if (!::SetEndOfFile(file_.Get()) ||
        !::WriteFile(file_.Get(), text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr))
        ThrowLastError(L"cannot write the lock file " + path);
    ::FlushFileBuffers(file_.Get());
}
