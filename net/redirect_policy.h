#pragma once
// Where a download may be sent on by a redirect, the same for both clients:
// over plain http only, to the host asked or to a host of the server list, at
// most five times, never back to an address already visited. A post is never
// sent on: a report the server did not store itself must stay on disk.

#include <set>
#include <string>
#include <vector>

struct RedirectHop {
    std::wstring host;
    // From the root, with its leading "/".
    std::wstring path;
};

class CRedirectPolicy {
public:
    static const int kMaxRedirects = 5;

    // The first request went to host and path; allowed holds the hosts of the
    // server list. Failure texts name the request as shownPath, the way the
    // client's other messages do.
    CRedirectPolicy(const std::wstring& host, const std::wstring& path, const std::wstring& shownPath,
                    const std::vector<std::wstring>& allowed);

    // The next hop for a Location value, or false with the failure text.
    bool Follow(const std::wstring& location, RedirectHop& next, std::wstring& failure);

private:
    bool Resolve(const std::wstring& location, RedirectHop& next) const;
    bool Permitted(const std::wstring& host) const;

    RedirectHop current_;
    std::wstring firstHost_;
    std::wstring shownPath_;
    std::vector<std::wstring> allowed_;
    std::set<std::wstring> visited_;
    int hops_ = 0;
};

// Whether an HTTP status asks to look elsewhere.
bool IsRedirectStatus(int status);
