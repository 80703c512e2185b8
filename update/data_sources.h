#pragma once
// The update server list, "datasources.txt": one server per line, written
// as a host or as host "/" directory.

#include <string>
#include <vector>

// The servers in file order. Lines end with LF or CR LF; each byte is one
// character; empty lines and lines starting with "#" are skipped, nothing
// else is trimmed. A file that cannot be read gives an empty list.
std::vector<std::wstring> ReadDataSources(const std::wstring& path);

struct ServerAddress {
    std::wstring host;
    // The first component of every request path on this server.
    std::wstring directory;
};

// Splits a server line at its first "/": the part after it replaces the
// default directory (the product key word); a line without "/" keeps it.
ServerAddress SplitServerLine(const std::wstring& line, const std::wstring& defaultDirectory);
