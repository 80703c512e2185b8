#pragma once
// Emptying the launcher's folder at uninstallation. Its whole contents go
// only when it is the recorded installation folder and belongs to nobody
// else; a player may have installed into the desktop, the documents, a
// drive's root or Program Files, whose other contents are not ours to delete.
// There only what the launcher put there goes. Names starting with '.' and
// the running executable always stay.

#include <string>

enum class FolderRemoval {
    WholeContents,
    LauncherFilesOnly,
};

// Reads the installation record: decide before the settings key goes.
FolderRemoval ChooseFolderRemoval(const std::wstring& folder);

void RemoveFolderContents(const std::wstring& folder, FolderRemoval removal);
