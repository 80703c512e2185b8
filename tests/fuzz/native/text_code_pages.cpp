// The UTF-8 conversions of text_utils.h for the native fuzz build, as the
// Windows calls behind them convert (MultiByteToWideChar and
// WideCharToMultiByte on CP_UTF8, no flags): UTF-16 units in wchar_t, each
// ill-formed sequence and each lone surrogate becoming U+FFFD.
#include "support/text_utils.h"

#include <cstdint>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void PutUtf16(std::wstring& out, char32_t point)
{
    if (point < 0x10000) {
        out += static_cast<wchar_t>(point);
        return;
    }
    point -= 0x10000;
    out += static_cast<wchar_t>(0xD800 + (point >> 10));
    out += static_cast<wchar_t>(0xDC00 + (point & 0x3FF));
}

bool IsContinuation(uint8_t byte)
{
    return (byte & 0xC0) == 0x80;
}

// The code point at `i`, or U+FFFD for the longest ill-formed start there;
// moves `i` past what it took.
char32_t DecodeOne(const std::string& bytes, size_t& i)
{
    uint8_t lead = static_cast<uint8_t>(bytes[i++]);
    if (lead < 0x80)
        return lead;
    int more;
    char32_t point;
    uint8_t low = 0x80;
    uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        more = 1;
        point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        more = 2;
        point = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        more = 3;
        point = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return kReplacement;
    }
    for (int k = 0; k < more; ++k) {
        if (i == bytes.size())
            return kReplacement;
        uint8_t next = static_cast<uint8_t>(bytes[i]);
        if (k == 0 ? (next < low || next > high) : !IsContinuation(next))
            return kReplacement;
        point = point << 6 | (next & 0x3F);
        ++i;
    }
    return point;
}

void PutUtf8(std::string& out, char32_t point)
{
    if (point < 0x80) {
        out += static_cast<char>(point);
    } else if (point < 0x800) {
        out += static_cast<char>(0xC0 | point >> 6);
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        out += static_cast<char>(0xE0 | point >> 12);
        out += static_cast<char>(0x80 | (point >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | point >> 18);
        out += static_cast<char>(0x80 | (point >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (point >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    }
}

} // namespace

std::wstring Utf8ToWide(const std::string& bytes)
{
    std::wstring result;
    for (size_t i = 0; i < bytes.size();)
        PutUtf16(result, DecodeOne(bytes, i));
    return result;
}

std::string WideToUtf8(const std::wstring& text)
{
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t unit = static_cast<char32_t>(text[i]);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            PutUtf8(result, 0x10000 + ((unit - 0xD800) << 10) + (static_cast<char32_t>(text[++i]) - 0xDC00));
        } else if ((unit >= 0xD800 && unit <= 0xDFFF) || unit > 0x10FFFF) {
            PutUtf8(result, kReplacement);
        } else {
            PutUtf8(result, unit);
        }
    }
    return result;
}
