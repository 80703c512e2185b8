#include "update/package_journal.h"

#include <windows.h>

#include <stdexcept>

void NotePackageInFlight(const std::wstring& journalPath, const IndexEntry& package)
{
    FileIndex note;
    note.Append(package);
    note.WriteToFile(journalPath);
}

std::optional<IndexEntry> TakePackageInFlight(const std::wstring& journalPath)
{
    FileIndex note;
    bool read = false;
    try {
        read = note.ReadFromFile(journalPath);
    } catch (const std::runtime_error&) {
        // No digest provider to verify the note with: it is not trusted.
    }
    ::DeleteFileW(journalPath.c_str());
    if (!read || note.Entries().size() != 1)
        return std::nullopt;
    return note.Entries().front();
}
