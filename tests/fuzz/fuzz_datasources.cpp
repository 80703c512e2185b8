// Arbitrary bytes as "datasources.txt". Input: chunk byte (the size of the
// pieces the file is read in, 0 for 4 KiB as the launcher reads it), then
// the file. The list must not depend on the pieces, and every server line
// must be one the parser may give.

#include "check_failure.h"
#include "update/data_sources.h"

#include <algorithm>
#include <cstdint>

namespace {

std::vector<std::wstring> Parse(const char* text, size_t size, size_t step)
{
    ServerListParser parser;
    for (size_t done = 0; done < size; done += step)
        parser.Add(text + done, std::min(step, size - done));
    return parser.Finish();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    size_t step = data[0] ? data[0] : 4096;
    const char* text = reinterpret_cast<const char*>(data + 1);
    std::vector<std::wstring> servers = Parse(text, size - 1, step);
    if (servers != Parse(text, size - 1, size))
        FailCheck("server list check", "the list depends on the read size");
    size_t lines = static_cast<size_t>(std::count(text, text + size - 1, '\n')) + 1;
    if (servers.size() > lines)
        FailCheck("server list check", "more servers than lines");
    for (const std::wstring& line : servers) {
        if (line.empty() || line[0] == L'#')
            FailCheck("server list check", "a line the parser skips");
        if (std::any_of(line.begin(), line.end(), [](wchar_t c) { return c < L' ' || c == 0x7F; }))
            FailCheck("server list check", "a control character in a server line");
        ServerAddress address = SplitServerLine(line, L"tarnhold2");
        if (address.host.find(L'/') != std::wstring::npos)
            FailCheck("server list check", "a host with a slash");
        bool split = line.find(L'/') != std::wstring::npos;
        if (split ? address.host + L'/' + address.directory != line
                  : address.host != line || address.directory != L"tarnhold2")
            FailCheck("server list check", "the split loses or adds text");
    }
    return 0;
}
