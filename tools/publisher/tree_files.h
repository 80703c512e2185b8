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
// Renames, replacing an existing file; throws PublishError on failure.
void MoveIntoPlace(const std::wstring& from, const std::wstring& to);
