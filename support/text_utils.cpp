#include "support/text_utils.h"

#include <locale>

namespace {

const char kReservedChars[] = " \"<>%\\^[]`+$,@:;/!#?=&";
const char kHexDigits[] = "0123456789ABCDEF";

bool IsSplitBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

} // namespace

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

std::wstring ToUpper(const std::wstring& text)
{
    std::wstring result = text;
    const auto& facet = std::use_facet<std::ctype<wchar_t>>(std::locale());
    if (!result.empty())
        facet.toupper(&result[0], &result[0] + result.size());
    return result;
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
