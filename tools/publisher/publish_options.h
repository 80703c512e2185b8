#pragma once
// The publisher's command line.

#include <string>
#include <vector>

struct PublishOptions {
    std::wstring gameFolder;
    std::wstring outputFolder;
    // Lines of datasources.txt, in the order given.
    std::vector<std::wstring> mirrors;
    bool help = false;
};

// Fills options from the arguments after the program name; false with a
// message for the maker when they make no sense.
bool ParseOptions(const std::vector<std::wstring>& args, PublishOptions& options, std::wstring& error);

// The --help text for a server directory.
std::wstring UsageText(const std::wstring& serverDirectory);
