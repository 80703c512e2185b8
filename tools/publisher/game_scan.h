#pragma once
// The files of a game folder, as the publisher will publish them.

#include <cstdint>
#include <string>
#include <vector>

struct GameFile {
    // Relative to the game folder, folders separated by backslashes.
    std::wstring name;
    std::wstring path;
    uint64_t size = 0;
    uint64_t fileTime = 0;
};

struct GameScan {
    // In name order (ordinal, letter case ignored), so that publishing the
    // same folder twice gives the same index.
    std::vector<GameFile> files;
    // Launcher files at the top of the folder that are left out.
    std::vector<std::wstring> skipped;
};

// Walks the game folder. Throws PublishError for a file the launcher could
// never fetch (too large, a name it refuses, two names that the launcher or
// the server would take for one, a file named like another one's package) or
// a folder that cannot be read. productKeyWord names the whole-game package
// to leave out.
GameScan ScanGameFolder(const std::wstring& gameFolder, const std::wstring& productKeyWord);
