#pragma once
// File-system helpers of the publisher.

#include <windows.h>

#include <cstdint>
#include <string>

// The absolute form of a path, without a trailing backslash.
std::wstring FullPathOf(const std::wstring& path);
// True when folder is inner or contains it (letter case ignored).
bool PathsOverlap(const std::wstring& folder, const std::wstring& inner);

bool IsFolder(const std::wstring& path);
bool Exists(const std::wstring& path);

// Deletes a file or a whole folder tree; read-only files too. True when it
// is gone.
bool RemoveTree(const std::wstring& path);

// Size and last-write time of a file, or false.
bool StatFile(const std::wstring& path, uint64_t& size, uint64_t& fileTime);

// Creates the folder of a file path with all missing parents; throws
// PublishError when that fails.
void CreateParentFolders(const std::wstring& filePath);
// Writes every byte or throws PublishError naming path.
void WriteAll(HANDLE file, const char* data, size_t size, const std::wstring& path);
// A hard link at link to an existing file, or a copy where links cannot be
// made; throws PublishError.
void LinkOrCopy(const std::wstring& existing, const std::wstring& link);

// Renames, replacing an existing file; throws PublishError on failure.
void MoveIntoPlace(const std::wstring& from, const std::wstring& to);
