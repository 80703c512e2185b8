#pragma once
// The update server list, "datasources.txt": one server per line, written
// as a host or as host "/" directory.

#include <string>
#include <vector>

// The servers in file order. Lines end with LF or CR LF; each byte is one
// character; empty lines, lines starting with "#" and lines that are no
// server (a blank, a control or non-ASCII character, or a host that is
// empty or holds other than letters, digits, "-", "." and "_") are skipped,
// nothing is trimmed. A file that cannot be read, or a page of markup (a
// line starting with "<"), gives an empty list.
std::vector<std::wstring> ReadDataSources(const std::wstring& path);

// The same from the file's bytes, given in chunks of any size.
class ServerListParser {
public:
    void Add(const char* data, size_t size);
    // The servers of all chunks; the last line needs no line end.
    std::vector<std::wstring> Finish();

private:
    void EndLine();

    std::vector<std::wstring> servers_;
    std::string line_;
    bool markup_ = false;
};

struct ServerAddress {
    std::wstring host;
    // The first component of every request path on this server.
    std::wstring directory;
};

// Splits a server line at its first "/": the part after it replaces the
// default directory (the product key word); a line without "/" keeps it.
ServerAddress SplitServerLine(const std::wstring& line, const std::wstring& defaultDirectory);
