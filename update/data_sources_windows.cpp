// The server list read from its file; the text itself is parsed in
// data_sources.cpp.
#include "update/data_sources.h"

#include <fcntl.h>
#include <io.h>

#include "support/win_handles.h"

namespace {

const unsigned kReadChunk = 4096;

} // namespace

std::vector<std::wstring> ReadDataSources(const std::wstring& path)
{
    UniqueCrtFile file(::_wopen(path.c_str(), _O_RDONLY | _O_BINARY));
    if (!file)
        return {};
    ServerListParser parser;
    char chunk[kReadChunk];
    int got;
    while ((got = ::_read(file.Get(), chunk, kReadChunk)) > 0)
        parser.Add(chunk, static_cast<size_t>(got));
    return parser.Finish();
}
