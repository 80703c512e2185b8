#pragma once
// Folders that belong to the system or the user rather than to one program:
// a program installed into one of them shares it with other things.

#include <string>

// The user's known folder of a CSIDL (desktop, programs, application data),
// or empty when the system has none.
std::wstring KnownFolderPath(int csidl);

// True for drive and share roots, the user's profile and its known folders
// (desktop, documents, downloads, application data), Windows, Program Files,
// the temporary folder, and every folder that holds one of them.
bool IsSystemFolder(const std::wstring& folder);
