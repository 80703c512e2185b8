#include "services/string_table.h"

#include "services/registry_keys.h"
#include "support/win_handles.h"
#include "ui/resources/resource.h"

namespace {

const LanguageInfo kLanguages[] = {
    {kLanguageRussian, L"Russian", IDS_LANGUAGE_RUSSIAN},
};
const int kLanguageCount = sizeof(kLanguages) / sizeof(kLanguages[0]);

const size_t kStringBufferChars = 1024;
const UINT kStringsPerBlock = 16;
const DWORD kStoredLanguageMaxBytes = 256;

wchar_t g_stringBuffer[kStringBufferChars];

WORD InitialLanguage()
{
    WORD userDefault = ::GetUserDefaultLangID();
    return FindLanguageIndex(userDefault) >= 0 ? userDefault : kLanguageRussian;
}

WORD g_currentLanguage = InitialLanguage();

LangResource LoadResourceIn(LPCWSTR type, UINT id, WORD language)
{
    LangResource result;
    HRSRC info = ::FindResourceExW(nullptr, type, MAKEINTRESOURCEW(id), language);
    if (!info)
        return result;
    HGLOBAL loaded = ::LoadResource(nullptr, info);
    if (!loaded)
        return result;
    result.data = ::LockResource(loaded);
    result.size = result.data ? ::SizeofResource(nullptr, info) : 0;
    return result;
}

} // namespace

int LanguageCount()
{
    return kLanguageCount;
}

const LanguageInfo& LanguageAt(int index)
{
    return kLanguages[index >= 0 && index < kLanguageCount ? index : 0];
}

int FindLanguageIndex(WORD languageId)
{
    for (int i = 0; i < kLanguageCount; ++i) {
        if (kLanguages[i].id == languageId)
            return i;
    }
    return -1;
}

WORD LanguageIdAt(int index)
{
    return LanguageAt(index).id;
}

WORD CurrentLanguage()
{
    return g_currentLanguage;
}

void SetCurrentLanguage(WORD languageId)
{
    g_currentLanguage = languageId;
}

const LanguageInfo& CurrentLanguageInfo()
{
    return LanguageAt(FindLanguageIndex(g_currentLanguage));
}

const wchar_t* CurrentLanguageCode()
{
    return CurrentLanguageInfo().code;
}

LangResource FindLangResource(LPCWSTR type, UINT id)
{
    LangResource found = LoadResourceIn(type, id, g_currentLanguage);
    if (!found)
        found = LoadResourceIn(type, id, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    return found;
}

const wchar_t* LoadLangString(UINT id)
{
    g_stringBuffer[0] = L'\0';
    LangResource block = FindLangResource(RT_STRING, id / kStringsPerBlock + 1);
    if (!block)
        return g_stringBuffer;

    // A block holds 16 counted strings; walk to ours without leaving the block.
    const WORD* p = static_cast<const WORD*>(block.data);
    const WORD* end = p + block.size / sizeof(WORD);
    for (UINT i = 0; i < id % kStringsPerBlock && p < end; ++i)
        p += 1 + *p;
    if (p >= end)
        return g_stringBuffer;
    size_t length = *p++;
    if (length > static_cast<size_t>(end - p))
        length = static_cast<size_t>(end - p);
    if (length > kStringBufferChars - 1)
        length = kStringBufferChars - 1;
    for (size_t i = 0; i < length; ++i)
        g_stringBuffer[i] = static_cast<wchar_t>(p[i]);
    g_stringBuffer[length] = L'\0';
    return g_stringBuffer;
}

WORD ReadStoredLanguage()
{
    UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, GameKeyPath().c_str(), 0, KEY_QUERY_VALUE, key.Receive()) !=
        ERROR_SUCCESS)
        return kLanguageRussian;

    // Stored without its terminator; keep room for one of our own.
    wchar_t value[kStoredLanguageMaxBytes / sizeof(wchar_t) + 1] = {};
    DWORD type = 0;
    DWORD size = kStoredLanguageMaxBytes;
    if (::RegQueryValueExW(key.Get(), L"Language", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return kLanguageRussian;
    value[size / sizeof(wchar_t)] = L'\0';

    for (int i = 0; i < kLanguageCount; ++i) {
        if (lstrcmpW(kLanguages[i].code, value) == 0)
            return kLanguages[i].id;
    }
    return kLanguages[0].id;
}

void StoreLanguage()
{
    UniqueRegKey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, GameKeyPath().c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_SET_VALUE, nullptr, key.Receive(), nullptr) != ERROR_SUCCESS)
        return;
    const wchar_t* code = CurrentLanguageCode();
    ::RegSetValueExW(key.Get(), L"Language", 0, REG_SZ, reinterpret_cast<const BYTE*>(code),
                     static_cast<DWORD>(lstrlenW(code) * sizeof(wchar_t)));
}
