// The text utilities that rest on the Windows API and its C runtime: code
// pages, the user's locale and the runtime's formatter. The rest of
// text_utils.h is portable (text_utils.cpp).
#include "support/text_utils.h"

#include <windows.h>
#include <cstdarg>
#include <cwchar>

namespace {

const size_t kFormatBufferChars = 10000;

// The user's default locale for case-insensitive comparisons, created once
// before the entry runs and freed at exit.
class UserLocale {
public:
    UserLocale() : locale_(_create_locale(LC_ALL, "")) {}
    ~UserLocale()
    {
        if (locale_)
            _free_locale(locale_);
    }
    UserLocale(const UserLocale&) = delete;
    UserLocale& operator=(const UserLocale&) = delete;
    _locale_t Get() const { return locale_; }

private:
    _locale_t locale_;
};

const UserLocale g_userLocale;

} // namespace

std::string WideToCodePage(const std::wstring& text, unsigned codePage)
{
    if (text.empty())
        return std::string();
    int units = static_cast<int>(text.size());
    int size = ::WideCharToMultiByte(codePage, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return std::string();
    std::string result(static_cast<size_t>(size), '\0');
    if (::WideCharToMultiByte(codePage, 0, text.data(), units, &result[0], size, nullptr, nullptr) != size)
        return std::string();
    return result;
}

std::string WideToAnsi(const std::wstring& text)
{
    return WideToCodePage(text, CP_ACP);
}

std::wstring AnsiToWide(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    std::wstring result(text.size(), L'\0');
    int written = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &result[0],
                                        static_cast<int>(result.size()));
    result.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return result;
}

std::string AnsiToUtf8(const char* text)
{
    return WideToUtf8(AnsiToWide(text));
}

std::string WideToUtf8(const std::wstring& text)
{
    return WideToCodePage(text, CP_UTF8);
}

std::wstring Utf8ToWide(const std::string& bytes)
{
    if (bytes.empty())
        return std::wstring();
    int units = ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (units <= 0)
        return std::wstring();
    std::wstring result(static_cast<size_t>(units), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &result[0], units);
    return result;
}

bool EqualsNoCase(const std::wstring& a, const std::wstring& b)
{
    return _wcsicmp_l(a.c_str(), b.c_str(), g_userLocale.Get()) == 0;
}

std::wstring FormatString(const wchar_t* format, ...)
{
    wchar_t buffer[kFormatBufferChars];
    va_list args;
    va_start(args, format);
    // The runtime's own formatter: "%s" takes a wide string here.
    int written = _vsnwprintf(buffer, kFormatBufferChars - 1, format, args);
    va_end(args);
    buffer[kFormatBufferChars - 1] = L'\0';
    if (written < 0)
        return std::wstring(buffer, kFormatBufferChars - 1);
    return std::wstring(buffer, static_cast<size_t>(written));
}
