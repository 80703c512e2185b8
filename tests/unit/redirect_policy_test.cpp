#include <gtest/gtest.h>

#include "net/redirect_policy.h"

namespace {

// Where one redirect of a request for http://update.example/d/x.zip?v=1 leads;
// an empty host means it is refused.
struct Hop {
    const wchar_t* location;
    const wchar_t* host;
    const wchar_t* path;
};

const Hop kHops[] = {
    {L"y.zip", L"update.example", L"/d/y.zip"},
    {L"../a/./b.zip", L"update.example", L"/a/b.zip"},
    {L"/../../c.zip#part", L"update.example", L"/c.zip"},
    {L"?v=2", L"update.example", L"/d/x.zip?v=2"},
    {L"HTTP://Mirror.Example:80/m/x.zip", L"mirror.example", L"/m/x.zip"},
    {L"//mirror.example", L"mirror.example", L"/"},
    {L"https://update.example/d/x.zip", L"", L""},
    {L"ftp://mirror.example/x.zip", L"", L""},
    {L"http://mirror.example:8080/x.zip", L"", L""},
    {L"http://user@mirror.example/x.zip", L"", L""},
    {L"http://elsewhere.example/x.zip", L"", L""},
    {L"", L"", L""},
};

TEST(RedirectPolicyTest, FollowsOnlyHttpToItsOwnOrAListedHost)
{
    for (const Hop& hop : kHops) {
        CRedirectPolicy policy(L"Update.Example", L"/d/x.zip?v=1", L"d/x.zip", {L"MIRROR.example"});
        RedirectHop next;
        std::wstring failure;
        bool followed = policy.Follow(hop.location, next, failure);
        EXPECT_EQ(followed, *hop.host != L'\0') << hop.location;
        EXPECT_EQ(next.host, hop.host) << hop.location;
        EXPECT_EQ(next.path, hop.path) << hop.location;
        EXPECT_EQ(failure.empty(), followed) << hop.location;
    }
}

} // namespace
