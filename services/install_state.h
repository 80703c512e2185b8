#pragma once
// The installation record in the registry, read and written with registry calls
// of its own.

#include <string>

// True when the recorded installation folder holds this very executable.
// Moves a record found under the older key layout to the current one.
bool IsInstalledHere();

// The recorded installation folder as a full path, or empty when none is
// recorded.
std::wstring RecordedInstallFolder();

// Records the installation folder ("InstallPath").
void SetInstallPath(const std::wstring& folder);

// Whether the launcher created the recorded folder or found it empty
// ("InstallFolderOwned"): only then may uninstallation empty it. A record
// without the value, as installations before it was kept, counts as a folder
// found with other things in it.
bool IsInstallFolderOwned();
void SetInstallFolderOwned(bool owned);
