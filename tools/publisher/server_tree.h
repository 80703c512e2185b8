#pragma once
// Publishing: a game folder becomes the tree an update server serves.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/publisher/publish_options.h"

struct PublishedFile {
    std::wstring name;
    uint64_t size = 0;
    uint64_t packageSize = 0;
};

struct PublishReport {
    // Where the tree was placed: the output folder and the server directory.
    std::wstring treeFolder;
    std::vector<PublishedFile> files;
    std::vector<std::wstring> skipped;
    uint64_t indexPackageSize = 0;
    uint64_t fullPackageSize = 0;
    bool replacedOldTree = false;
};

// Builds the tree in a folder beside the final one and moves it into place
// when it is complete. Throws PublishError; the old tree then stays as it
// was and nothing half-built is left behind. onFile is told about each file
// as soon as it is packed.
PublishReport PublishServerTree(const PublishOptions& options, const std::wstring& serverDirectory,
                                void (*onFile)(const PublishedFile& file));
