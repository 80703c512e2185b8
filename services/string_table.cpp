#include "services/string_table.h"

#include <cwchar>

#include "services/string_ids.h"
#include "support/win_handles.h"

namespace {

const LanguageInfo kLanguages[] = {
    {kLanguageRussian, L"Russian", IDS_LANGUAGE_RUSSIAN},
};
const int kLanguageCount = sizeof(kLanguages) / sizeof(kLanguages[0]);

const size_t kStringBufferChars = 1024;
const UINT kStringsPerBlock = 16;

// One per thread: the update worker loads texts while the UI thread does.
thread_local wchar_t t_stringBuffer[kStringBufferChars];

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

int FindLanguageIndexByCode(const wchar_t* code)
{
    for (int i = 0; i < kLanguageCount; ++i) {
        if (std::wcscmp(kLanguages[i].code, code) == 0)
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
    t_stringBuffer[0] = L'\0';
    LangResource block = FindLangResource(RT_STRING, id / kStringsPerBlock + 1);
    if (!block)
        return t_stringBuffer;

    // A block holds 16 counted strings; walk to ours without leaving the block.
    const WORD* p = static_cast<const WORD*>(block.data);
    const WORD* end = p + block.size / sizeof(WORD);
    for (UINT i = 0; i < id % kStringsPerBlock && p < end; ++i)
        p += 1 + *p;
    if (p >= end)
        return t_stringBuffer;
    size_t length = *p++;
    if (length > static_cast<size_t>(end - p))
        length = static_cast<size_t>(end - p);
    if (length > kStringBufferChars - 1)
        length = kStringBufferChars - 1;
    for (size_t i = 0; i < length; ++i)
        t_stringBuffer[i] = static_cast<wchar_t>(p[i]);
    t_stringBuffer[length] = L'\0';
    return t_stringBuffer;
}

std::wstring LangText(UINT id)
{
    return LoadLangString(id);
}
