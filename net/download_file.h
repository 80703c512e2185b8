#pragma once
// The local side of a download, shared by both HTTP clients: the target's
// path and folders, the file itself and the message when it cannot be
// created.

#include <windows.h>
#include <string>

#include "support/win_handles.h"

// The local path with "\" between folders, as the shell's path functions
// need it: index names may separate their folders with "/".
std::wstring LocalFilePath(const std::wstring& filePath);

// Creates the missing folders above the file. A failure shows up when the
// file cannot be created, so it is not reported here.
void CreateFolderOfFile(const std::wstring& filePath);

// Where a transfer can resume: the offset when the file holds at least that
// many bytes, else 0, since the bytes before the offset would be missing.
DWORD ResumeOffset(const std::wstring& filePath, DWORD offset);

// Opens the file for writing with no sharing, so nothing else touches it while
// the transfer runs, positioned where the answer's first byte belongs: at 0,
// created or truncated; else opened or created and cut to the offset, so the
// answer follows exactly the bytes it continues even when the file held more.
// An empty owner, with the last error set, when the file cannot be opened or
// cut.
UniqueHandle OpenDownloadFile(const std::wstring& filePath, DWORD offset);

// Writes one chunk whole. 0, or the Win32 error code of a failed or short
// write (a full disk), which ends the transfer.
DWORD WriteChunk(HANDLE file, const void* data, DWORD count);

// The message for a file that could not be opened, with the system's text for
// the error code.
std::wstring FileCreationErrorText(const std::wstring& filePath, DWORD code);
