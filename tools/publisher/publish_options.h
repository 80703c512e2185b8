#pragma once
// The publisher's command line.

#include <string>
#include <vector>

struct PublishOptions {
    std::wstring gameFolder;
    std::wstring outputFolder;
    // Lines of datasources.txt, in the order given.
    std::vector<std::wstring> mirrors;
    // Processes that compress at once; 0 means one per processor.
    unsigned jobs = 0;
    // Where a test makes the run end abruptly, as a kill would: "packing",
    // "switch" or "cleanup"; empty in normal runs.
    std::wstring abortAt;
    // Set in the worker processes the publisher starts: their job list.
    std::wstring workerList;
    bool help = false;
};

// Fills options from the arguments after the program name; false with a
// message for the maker when they make no sense.
bool ParseOptions(const std::vector<std::wstring>& args, PublishOptions& options, std::wstring& error);

// The --help text for a server directory.
std::wstring UsageText(const std::wstring& serverDirectory);
