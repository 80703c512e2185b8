#include "support/text_utils.h"

#include <windows.h>
#include <cstdarg>
#include <cwchar>
#include <locale>

namespace {

const char kReservedChars[] = " \"<>%\\^[]`+$,@:;/!#?=&";
const char kHexDigits[] = "0123456789ABCDEF";
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

bool IsSplitBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

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

std::string UrlEncode(const char* text)
{
    std::string result;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        unsigned char c = *p;
        bool plain = c >= 33 && c <= 122 && std::char_traits<char>::find(kReservedChars, sizeof(kReservedChars) - 1,
                                                                         static_cast<char>(c)) == nullptr;
        if (plain) {
            result += static_cast<char>(c);
        } else {
            result += '%';
            result += kHexDigits[c >> 4];
            result += kHexDigits[c & 0x0F];
        }
    }
    return result;
}

void ReplaceAll(std::wstring& text, const std::wstring& search, const std::wstring& replacement)
{
    if (search.empty())
        return;
    size_t pos = 0;
    while ((pos = text.find(search, pos)) != std::wstring::npos) {
        text.replace(pos, search.size(), replacement);
        pos += replacement.size();
    }
}

void ReplaceChar(wchar_t* begin, wchar_t* end, wchar_t oldChar, wchar_t newChar)
{
    for (wchar_t* p = begin; p != end; ++p) {
        if (*p == oldChar)
            *p = newChar;
    }
}

bool EqualsNoCase(const std::wstring& a, const std::wstring& b)
{
    return _wcsicmp_l(a.c_str(), b.c_str(), g_userLocale.Get()) == 0;
}

std::wstring ToUpper(const std::wstring& text)
{
    std::wstring result = text;
    const auto& facet = std::use_facet<std::ctype<wchar_t>>(std::locale());
    if (!result.empty())
        facet.toupper(&result[0], &result[0] + result.size());
    return result;
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

std::wstring Trim(const std::wstring& text)
{
    size_t first = 0;
    while (first < text.size() && IsSplitBlank(text[first]))
        ++first;
    if (first == text.size())
        return std::wstring();
    size_t last = text.size() - 1;
    while (IsSplitBlank(text[last]))
        --last;
    return text.substr(first, last - first + 1);
}

std::vector<std::wstring> Split(const std::wstring& text, const std::wstring& delimiter)
{
    std::vector<std::wstring> pieces;
    if (delimiter.empty()) {
        if (!text.empty())
            pieces.push_back(Trim(text));
        return pieces;
    }
    size_t pos = 0;
    while (pos < text.size()) {
        size_t found = text.find(delimiter, pos);
        if (found == pos) {
            ++pos;
            continue;
        }
        size_t end = found == std::wstring::npos ? text.size() : found;
        pieces.push_back(Trim(text.substr(pos, end - pos)));
        if (found == std::wstring::npos)
            break;
        pos = found + delimiter.size();
    }
    return pieces;
}

std::vector<std::wstring> SplitAny(const std::wstring& text, const std::vector<std::wstring>& delimiters)
{
    std::vector<std::wstring> pieces;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t found = std::wstring::npos;
        size_t length = 0;
        for (const std::wstring& delimiter : delimiters) {
            if (delimiter.empty())
                continue;
            found = text.find(delimiter, pos);
            if (found != std::wstring::npos) {
                length = delimiter.size();
                break;
            }
        }
        size_t end = found == std::wstring::npos ? text.size() : found;
        if (end > pos)
            pieces.push_back(Trim(text.substr(pos, end - pos)));
        if (found == std::wstring::npos)
            break;
        pos = found + length;
    }
    return pieces;
}
