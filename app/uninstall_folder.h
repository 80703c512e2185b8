#pragma once
// Emptying the launcher's folder at uninstallation. Its whole contents go
// only when it is the recorded installation folder, the launcher created it
// or found it empty, and it is none of the system's shared folders; a player
// may have installed into a folder of their own games, the documents or a
// drive's root, whose other contents are not ours to delete. There only what
// the launcher put there goes. Names starting with '.' and the running
// executable always stay.

#include <string>

enum class FolderRemoval {
    WholeContents,
    LauncherFilesOnly,
};

// Reads the installation record: decide before the settings key goes.
FolderRemoval ChooseFolderRemoval(const std::wstring& folder);

void RemoveFolderContents(const std::wstring& folder, FolderRemoval removal);
