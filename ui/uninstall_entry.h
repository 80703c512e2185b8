#pragma once
// The launcher's entry in the Windows list of installed programs, under the
// current user.

#include <string>

// Writes the entry for the launcher installed at `launcherPath`; its
// "UninstallString" starts that launcher with "/uninstall".
void WriteUninstallEntry(const std::wstring& launcherPath);

void DeleteUninstallEntry();
