#pragma once
// The UI languages: the language table, the current language, and the lookup
// of strings and resources in it with the neutral language as fallback.

#include <windows.h>
#include <string>

struct LanguageInfo {
    WORD id;
    const wchar_t* code;
    int nameEntry;
};

const WORD kLanguageRussian = 1049;
const WORD kLanguageEnglish = 1033;

int LanguageCount();
const LanguageInfo& LanguageAt(int index);
int FindLanguageIndex(WORD languageId);
// The row whose code equals this one exactly, or -1.
int FindLanguageIndexByCode(const wchar_t* code);
WORD LanguageIdAt(int index);

WORD CurrentLanguage();
void SetCurrentLanguage(WORD languageId);
// The current language's row, or the first row when it has none.
const LanguageInfo& CurrentLanguageInfo();
const wchar_t* CurrentLanguageCode();

// String-table entry in the current language. Points into the calling thread's
// buffer of 1024 characters, valid until that thread's next load; an entry
// that does not exist gives an empty text.
const wchar_t* LoadLangString(UINT id);
// The same entry as a copy of its own, for texts that are kept.
std::wstring LangText(UINT id);

struct LangResource {
    const void* data = nullptr;
    DWORD size = 0;
    explicit operator bool() const { return data != nullptr; }
};

// The resource in the current language, else as the system picks it for the
// neutral language.
LangResource FindLangResource(LPCWSTR type, UINT id);
