#pragma once
// The package being downloaded, noted on disk when its request starts. A run
// that ends normally dates an interrupted package with its entry's time, which
// makes it resumable; a run killed outright (task kill, power loss) cannot, so
// the next run dates it from this note before it plans. The note is an index
// file of one entry, replaced in one step.

#include <optional>
#include <string>

#include "update/file_index.h"

void NotePackageInFlight(const std::wstring& journalPath, const IndexEntry& package);
// The package noted by an earlier run, if any; the note is deleted.
std::optional<IndexEntry> TakePackageInFlight(const std::wstring& journalPath);
