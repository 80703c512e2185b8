#include "net/redirect_policy.h"

#include <algorithm>
#include <cwctype>

#include "services/string_ids.h"
#include "services/string_table.h"
#include "support/text_utils.h"

namespace {

const wchar_t kHttpScheme[] = L"http:";
const wchar_t kDefaultPort[] = L"80";

std::wstring Lower(std::wstring text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towlower(c); });
    return text;
}

// "a/b/../c" and "./" as a browser would read them, so a loop cannot hide
// behind spellings of one path.
std::wstring WithoutDotSegments(const std::wstring& path)
{
    std::vector<std::wstring> kept;
    size_t start = 1;
    while (start <= path.size()) {
        size_t slash = path.find(L'/', start);
        std::wstring segment = path.substr(start, slash == std::wstring::npos ? std::wstring::npos : slash - start);
        bool last = slash == std::wstring::npos;
        if (segment == L"..") {
            if (!kept.empty())
                kept.pop_back();
            if (last)
                kept.emplace_back();
        } else if (segment == L".") {
            if (last)
                kept.emplace_back();
        } else {
            kept.push_back(segment);
        }
        if (last)
            break;
        start = slash + 1;
    }
    std::wstring result;
    for (const std::wstring& segment : kept)
        result += L"/" + segment;
    return result.empty() ? L"/" : result;
}

} // namespace

bool IsRedirectStatus(int status)
{
    return status >= 300 && status < 400;
}

CRedirectPolicy::CRedirectPolicy(const std::wstring& host, const std::wstring& path, const std::wstring& shownPath,
                                 const std::vector<std::wstring>& allowed)
    : current_{Lower(host), path}, firstHost_(current_.host), shownPath_(shownPath)
{
    for (const std::wstring& name : allowed)
        allowed_.push_back(Lower(name));
    visited_.insert(current_.host + current_.path);
}

bool CRedirectPolicy::Follow(const std::wstring& location, RedirectHop& next, std::wstring& failure)
{
    RedirectHop hop;
    if (!Resolve(location, hop) || !Permitted(hop.host)) {
        failure = FormatString(LoadLangString(IDS_REDIRECT_REFUSED), shownPath_.c_str(), location.c_str());
        return false;
    }
    if (++hops_ > kMaxRedirects || !visited_.insert(hop.host + hop.path).second) {
        failure = FormatString(LoadLangString(IDS_REDIRECT_LOOP), shownPath_.c_str());
        return false;
    }
    current_ = hop;
    next = hop;
    return true;
}

bool CRedirectPolicy::Resolve(const std::wstring& location, RedirectHop& next) const
{
    std::wstring rest = Trim(location);
    if (rest.empty())
        return false;
    size_t colon = rest.find(L':');
    size_t slash = rest.find(L'/');
    if (colon != std::wstring::npos && (slash == std::wstring::npos || colon < slash)) {
        if (Lower(rest.substr(0, colon + 1)) != kHttpScheme)
            return false;
        rest.erase(0, colon + 1);
    }
    if (rest.compare(0, 2, L"//") == 0) {
        size_t end = rest.find_first_of(L"/?#", 2);
        std::wstring authority = rest.substr(2, end == std::wstring::npos ? std::wstring::npos : end - 2);
        rest = end == std::wstring::npos ? L"/" : rest.substr(end);
        // Our clients speak to port 80 only, and never with credentials.
        if (authority.find(L'@') != std::wstring::npos)
            return false;
        size_t port = authority.find(L':');
        if (port != std::wstring::npos) {
            if (authority.substr(port + 1) != kDefaultPort)
                return false;
            authority.erase(port);
        }
        if (authority.empty())
            return false;
        next.host = Lower(authority);
    } else {
        next.host = current_.host;
    }
    rest = rest.substr(0, rest.find(L'#'));
    if (rest.empty() || rest[0] == L'?') {
        next.path = current_.path.substr(0, current_.path.find(L'?')) + rest;
        return true;
    }
    if (rest[0] != L'/')
        rest = current_.path.substr(0, current_.path.rfind(L'/', current_.path.find(L'?')) + 1) + rest;
    size_t query = rest.find(L'?');
    next.path = WithoutDotSegments(rest.substr(0, query)) + (query == std::wstring::npos ? L"" : rest.substr(query));
    return true;
}

bool CRedirectPolicy::Permitted(const std::wstring& host) const
{
    return host == firstHost_ || host == current_.host || std::find(allowed_.begin(), allowed_.end(), host) != allowed_.end();
}
