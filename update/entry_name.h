#pragma once
// How index names compare: as the file system compares them.

#include <string>

// Ordinally, ignoring letter case unit by unit (CompareStringOrdinal).
bool SameEntryName(const std::wstring& a, const std::wstring& b);
// The name folded to upper case exactly as that comparison folds it: two
// names are the same exactly when their keys are equal.
std::wstring EntryNameKey(const std::wstring& name);
