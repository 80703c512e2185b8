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
    // Where the tree is served: the output folder and the server directory
    // (a link to the live generation).
    std::wstring treeFolder;
    std::wstring generationFolder;
    std::vector<PublishedFile> files;
    std::vector<std::wstring> skipped;
    uint64_t indexPackageSize = 0;
    uint64_t fullPackageSize = 0;
    bool replacedOldTree = false;
    // Packages made anew, and kept from the tree replaced.
    size_t packedFiles = 0;
    size_t keptFiles = 0;
    // Segments compressed, and taken from the cache.
    size_t compressedSegments = 0;
    size_t reusedSegments = 0;
    // Packages of files this publish removed, still served for one more.
    size_t retiredPackages = 0;
};

// Takes the output folder's lock, repairs what an interrupted run left,
// builds the next generation beside the live one (keeping the packages of
// unchanged files, compressing the rest on options.jobs processes) and
// switches the served link to it. Throws PublishError; the live tree then
// stays as it was. onFile is told about each file once its package is in
// place. Notes for the maker (repairs, warnings) are printed as they come.
PublishReport PublishServerTree(const PublishOptions& options, const std::wstring& serverDirectory,
                                void (*onFile)(const PublishedFile& file));
