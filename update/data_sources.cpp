#include "update/data_sources.h"

#include <fcntl.h>
#include <io.h>

#include "support/win_handles.h"

namespace {

const unsigned kReadChunk = 4096;

// Each byte becomes one UTF-16 unit, as a text stream in the "C" locale
// widens it: server names are plain ASCII.
void AddLine(std::vector<std::wstring>& servers, const std::string& line)
{
    std::string text = line;
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
    if (text.empty() || text[0] == '#')
        return;
    std::wstring wide;
    for (char c : text)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
    servers.push_back(wide);
}

} // namespace

std::vector<std::wstring> ReadDataSources(const std::wstring& path)
{
    std::vector<std::wstring> servers;
    UniqueCrtFile file(::_wopen(path.c_str(), _O_RDONLY | _O_BINARY));
    if (!file)
        return servers;

    std::string line;
    char chunk[kReadChunk];
    int got;
    while ((got = ::_read(file.Get(), chunk, kReadChunk)) > 0) {
        for (int i = 0; i < got; ++i) {
            if (chunk[i] == '\n') {
                AddLine(servers, line);
                line.clear();
            } else {
                line += chunk[i];
            }
        }
    }
    AddLine(servers, line);
    return servers;
}

ServerAddress SplitServerLine(const std::wstring& line, const std::wstring& defaultDirectory)
{
    size_t slash = line.find(L'/');
    if (slash == std::wstring::npos)
        return {line, defaultDirectory};
    return {line.substr(0, slash), line.substr(slash + 1)};
}
