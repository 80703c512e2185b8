#include "update/entry_name.h"

#include <windows.h>

#include <vector>

namespace {

const size_t kUtf16Units = 0x10000;
const size_t kFirstSurrogate = 0xD800;
const size_t kLastSurrogate = 0xDFFF;

bool IsSurrogate(size_t unit)
{
    return unit >= kFirstSurrogate && unit <= kLastSurrogate;
}

// The system's upper-case mapping of every UTF-16 unit, taken once. The
// mapping is the file system's (no linguistic casing), as the ordinal
// comparison uses; surrogates stay as they are, since that comparison does
// not join them into pairs while the mapping of a string would.
const std::vector<wchar_t>& UpperCaseTable()
{
    static const std::vector<wchar_t> table = [] {
        std::vector<wchar_t> units(kUtf16Units);
        for (size_t unit = 0; unit < kUtf16Units; ++unit)
            units[unit] = IsSurrogate(unit) ? L' ' : static_cast<wchar_t>(unit);
        std::vector<wchar_t> upper(kUtf16Units);
        ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, units.data(), static_cast<int>(kUtf16Units),
                        upper.data(), static_cast<int>(kUtf16Units), nullptr, nullptr, 0);
        for (size_t unit = kFirstSurrogate; unit <= kLastSurrogate; ++unit)
            upper[unit] = static_cast<wchar_t>(unit);
        return upper;
    }();
    return table;
}

} // namespace

bool SameEntryName(const std::wstring& a, const std::wstring& b)
{
    const std::wstring first = FileSystemSpelling(a);
    const std::wstring second = FileSystemSpelling(b);
    return ::CompareStringOrdinal(first.c_str(), static_cast<int>(first.size()), second.c_str(),
                                  static_cast<int>(second.size()), TRUE) == CSTR_EQUAL;
}

std::wstring EntryNameKey(const std::wstring& name)
{
    const std::vector<wchar_t>& upper = UpperCaseTable();
    std::wstring key = FileSystemSpelling(name);
    for (wchar_t& unit : key)
        unit = upper[static_cast<size_t>(unit)];
    return key;
}
