#pragma once
// Deleting what a folder listing found, walking folders ourselves: a link or
// junction, at any depth, goes as a link and never takes what it points to
// (the shell's delete operation follows links below the top level).

#include <windows.h>
#include <string>

// Deletes one entry of a listing by its attributes: a link as a link, a
// folder with everything below it, a file (read-only ones too). Best effort:
// what cannot be deleted stays.
void DeleteListedEntry(const std::wstring& path, DWORD attributes);
