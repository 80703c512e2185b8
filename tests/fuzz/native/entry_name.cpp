// Index name comparison for the native fuzz build. Windows folds letter case
// with the system's table of every UTF-16 unit; here only ASCII letters fold,
// which keeps the property the index relies on: equal keys exactly for
// names that compare the same.
#include "update/entry_name.h"

namespace {

wchar_t FoldUnit(wchar_t unit)
{
    return unit >= L'a' && unit <= L'z' ? static_cast<wchar_t>(unit - L'a' + L'A') : unit;
}

} // namespace

std::wstring EntryNameKey(const std::wstring& name)
{
    std::wstring key = FileSystemSpelling(name);
    for (wchar_t& unit : key)
        unit = FoldUnit(unit);
    return key;
}

bool SameEntryName(const std::wstring& a, const std::wstring& b)
{
    return EntryNameKey(a) == EntryNameKey(b);
}
