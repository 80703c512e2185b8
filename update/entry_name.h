#pragma once
// How index names compare: as the file system compares them. Windows takes
// "/" for "\" and drops the dots and blanks that end a name, so "a/b" and
// "a\b", "x" and "x. " name one file and must be one entry.

#include <string>

// The same file: equal after the separators are made "\", each part's
// trailing dots and blanks dropped, and letter case ignored unit by unit as
// CompareStringOrdinal ignores it.
bool SameEntryName(const std::wstring& a, const std::wstring& b);
// The name in that form, folded to upper case exactly as that comparison
// folds it: two names are the same exactly when their keys are equal.
std::wstring EntryNameKey(const std::wstring& name);

// The separators made "\" and each part's trailing dots and blanks dropped;
// letter case stays.
inline std::wstring FileSystemSpelling(const std::wstring& name)
{
    std::wstring spelled;
    spelled.reserve(name.size());
    size_t partEnd = 0;
    for (wchar_t unit : name) {
        if (unit == L'/' || unit == L'\\') {
            spelled.resize(partEnd);
            spelled += L'\\';
            partEnd = spelled.size();
            continue;
        }
        spelled += unit;
        if (unit != L'.' && unit != L' ')
            partEnd = spelled.size();
    }
    spelled.resize(partEnd);
    return spelled;
}
