#include "services/settings_store.h"

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cwchar>
#include <cwctype>
#include <vector>

#include "support/registry_text.h"
#include "support/text_utils.h"

CSettingsStore g_settings;

namespace {

// Intermediate keys are created as needed, so they are opened with the right to
// create sub-keys too.
const REGSAM kValueAccess = KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
// Longer texts than this are damage, not settings.
const DWORD kMaxTextBytes = 64 * 1024;

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f';
}

// Isolates the single token of a numeric text; false when there is none or more.
bool SingleToken(const std::wstring& text, std::wstring& token)
{
    size_t begin = 0;
    while (begin < text.size() && IsBlank(text[begin]))
        ++begin;
    size_t end = begin;
    while (end < text.size() && !IsBlank(text[end]))
        ++end;
    for (size_t rest = end; rest < text.size(); ++rest) {
        if (!IsBlank(text[rest]))
            return false;
    }
    token = text.substr(begin, end - begin);
    return !token.empty();
}

bool AllDigits(const std::wstring& text, size_t from)
{
    if (from >= text.size())
        return false;
    for (size_t i = from; i < text.size(); ++i) {
        if (text[i] < L'0' || text[i] > L'9')
            return false;
    }
    return true;
}

// A value name to its sub-key (created below `parent`) and final value name.
bool ResolveName(HKEY parent, const std::wstring& name, UniqueRegKey& key, std::wstring& valueName)
{
    std::vector<std::wstring> components = SplitAny(name, {L"/", L"\\"});
    if (components.size() < 2)
        return false;
    valueName = components.back();
    components.pop_back();

    HKEY current = parent;
    for (const std::wstring& component : components) {
        UniqueRegKey next;
        if (::RegCreateKeyExW(current, component.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kValueAccess,
                              nullptr, next.Receive(), nullptr) != ERROR_SUCCESS)
            return false;
        key = std::move(next);
        current = key.Get();
    }
    return true;
}

std::wstring FormatFloat(float value)
{
    return FormatString(L"%f", static_cast<double>(value));
}

} // namespace

bool CSettingsStore::Open(const std::wstring& keyPath)
{
    keyPath_ = keyPath;
    key_.Reset();
    UniqueRegKey current;
    for (const std::wstring& component : Split(keyPath, L"/")) {
        UniqueRegKey next;
        HKEY parent = current ? current.Get() : HKEY_CURRENT_USER;
        if (::RegCreateKeyExW(parent, component.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kValueAccess,
                              nullptr, next.Receive(), nullptr) != ERROR_SUCCESS)
            return false;
        current = std::move(next);
    }
    key_ = std::move(current);
    return key_.Valid();
}

std::wstring CSettingsStore::GetText(const std::wstring& name, const std::wstring& defaultText)
{
    UniqueRegKey key;
    std::wstring valueName;
    if (!key_ || !ResolveName(key_.Get(), name, key, valueName))
        return defaultText;

    DWORD type = 0;
    DWORD size = 0;
    LONG status = ::RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &type, nullptr, &size);
    if (status == ERROR_FILE_NOT_FOUND) {
        SetRegText(key.Get(), valueName.c_str(), defaultText);
        return defaultText;
    }
    // A value of another type or of absurd size is left alone.
    if (status != ERROR_SUCCESS || type != REG_SZ || size > kMaxTextBytes)
        return defaultText;

    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                           &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return defaultText;
    buffer[std::min<size_t>(size / sizeof(wchar_t), buffer.size() - 1)] = L'\0';
    return std::wstring(buffer.data());
}

void CSettingsStore::SetText(const std::wstring& name, const std::wstring& text)
{
    UniqueRegKey key;
    std::wstring valueName;
    if (key_ && ResolveName(key_.Get(), name, key, valueName))
        SetRegText(key.Get(), valueName.c_str(), text);
}

bool CSettingsStore::GetBool(const std::wstring& name, bool defaultValue)
{
    std::wstring text = GetText(name, defaultValue ? L"1" : L"0");
    if (!text.empty() && text[0] == L'1')
        return true;
    if (!text.empty() && text[0] == L'0')
        return false;
    return defaultValue;
}

int CSettingsStore::GetInt(const std::wstring& name, int defaultValue)
{
    int value = 0;
    return ParseIntText(GetText(name, FormatString(L"%d", defaultValue)), value) ? value : defaultValue;
}

unsigned CSettingsStore::GetUnsigned(const std::wstring& name, unsigned defaultValue)
{
    unsigned value = 0;
    return ParseUnsignedText(GetText(name, FormatString(L"%u", defaultValue)), value) ? value : defaultValue;
}

float CSettingsStore::GetFloat(const std::wstring& name, float defaultValue)
{
    float value = 0;
    return ParseFloatText(GetText(name, FormatFloat(defaultValue)), value) ? value : defaultValue;
}

void CSettingsStore::SetBool(const std::wstring& name, bool value)
{
    SetText(name, value ? L"1" : L"0");
}

void CSettingsStore::SetInt(const std::wstring& name, int value)
{
    SetText(name, FormatString(L"%d", value));
}

void CSettingsStore::SetUnsigned(const std::wstring& name, unsigned value)
{
    SetText(name, FormatString(L"%u", value));
}

void CSettingsStore::SetUnsignedLong(const std::wstring& name, unsigned long value)
{
    SetText(name, FormatString(L"%lu", value));
}

void CSettingsStore::SetFloat(const std::wstring& name, float value)
{
    SetText(name, FormatFloat(value));
}

bool ParseIntText(const std::wstring& text, int& value)
{
    std::wstring token;
    if (!SingleToken(text, token))
        return false;
    size_t digits = (token[0] == L'-' || token[0] == L'+') ? 1 : 0;
    if (!AllDigits(token, digits))
        return false;
    errno = 0;
    long long parsed = std::wcstoll(token.c_str(), nullptr, 10);
    if (errno == ERANGE || parsed < INT_MIN || parsed > INT_MAX)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

bool ParseUnsignedText(const std::wstring& text, unsigned& value)
{
    std::wstring token;
    if (!SingleToken(text, token))
        return false;
    size_t digits = token[0] == L'+' ? 1 : 0;
    if (!AllDigits(token, digits))
        return false;
    errno = 0;
    unsigned long long parsed = std::wcstoull(token.c_str(), nullptr, 10);
    if (errno == ERANGE || parsed > UINT_MAX)
        return false;
    value = static_cast<unsigned>(parsed);
    return true;
}

bool ParseFloatText(const std::wstring& text, float& value)
{
    std::wstring token;
    if (!SingleToken(text, token))
        return false;
    // Plain decimal notation only: no hexadecimal, infinity or NaN forms.
    for (wchar_t c : token) {
        if (!std::iswdigit(c) && c != L'.' && c != L'-' && c != L'+' && c != L'e' && c != L'E')
            return false;
    }
    wchar_t* end = nullptr;
    errno = 0;
    double parsed = std::wcstod(token.c_str(), &end);
    // Beyond the float range the conversion itself would be undefined.
    if (end != token.c_str() + token.size() || errno == ERANGE || std::fabs(parsed) > FLT_MAX)
        return false;
    value = static_cast<float>(parsed);
    return true;
}
