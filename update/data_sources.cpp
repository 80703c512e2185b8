#include "update/data_sources.h"

#include <algorithm>

namespace {

// A byte no host or directory holds; such a line would reach the HTTP
// requests (a CR in a host name) and the update log as it is.
bool IsControl(char c)
{
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
}

bool IsHostCharacter(wchar_t c)
{
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'-' ||
           c == L'.' || c == L'_';
}

// The publisher's rule for a mirror (printable ASCII without blanks, a host
// before any "/"), and a host of host-name characters.
bool IsServerLine(const std::wstring& line)
{
    const size_t slash = line.find(L'/');
    const size_t hostEnd = slash == std::wstring::npos ? line.size() : slash;
    if (hostEnd == 0)
        return false;
    for (size_t i = 0; i < line.size(); ++i) {
        const wchar_t c = line[i];
        if (c <= L' ' || c > L'~' || (i < hostEnd && !IsHostCharacter(c)))
            return false;
    }
    return true;
}

} // namespace

void ServerListParser::Add(const char* data, size_t size)
{
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\n')
            EndLine();
        else
            line_ += data[i];
    }
}

std::vector<std::wstring> ServerListParser::Finish()
{
    EndLine();
    if (markup_)
        servers_.clear();
    return std::move(servers_);
}

// Each byte becomes one UTF-16 unit, as a text stream in the "C" locale
// widens it: server names are plain ASCII.
void ServerListParser::EndLine()
{
    if (!line_.empty() && line_.back() == '\r')
        line_.pop_back();
    // A page (a captive portal's login) answered in place of the list.
    if (!line_.empty() && line_[0] == '<')
        markup_ = true;
    if (!line_.empty() && line_[0] != '#' && std::none_of(line_.begin(), line_.end(), IsControl)) {
        std::wstring wide;
        for (char c : line_)
            wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
        if (IsServerLine(wide))
            servers_.push_back(wide);
    }
    line_.clear();
}

ServerAddress SplitServerLine(const std::wstring& line, const std::wstring& defaultDirectory)
{
    size_t slash = line.find(L'/');
    if (slash == std::wstring::npos)
        return {line, defaultDirectory};
    return {line.substr(0, slash), line.substr(slash + 1)};
}
