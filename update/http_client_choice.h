#pragma once
// The two HTTP clients of the update run and which one it uses: the
// player's preference (automatic, the socket library or WinINet), and under
// the automatic preference the client the run last switched to, which the
// next start keeps.

#include <string>
#include <vector>

#include "net/http_client.h"
#include "net/http_client_poco.h"
#include "net/http_client_wininet.h"

class CHttpClientChoice {
public:
    static const int kPreferAutomatic = 0;
    static const int kPreferWinInet = 2;

    // Reads the stored preference and choice.
    CHttpClientChoice();

    IHttpClient& Current();
    bool UsesWinInet() const { return useWinInet_; }
    // The client the preference asks for; under the automatic preference
    // the stored choice.
    bool WantsWinInet() const;
    bool Automatic() const { return preference_ == kPreferAutomatic; }
    // Stores the player's preference.
    void SetPreference(int preference);
    // Makes the other client current and stores the choice; false when it
    // already was.
    bool SwitchTo(bool useWinInet);

    void SetEvents(IHttpEvents* events);
    void SetRedirectHosts(const std::vector<std::wstring>& hosts);

private:
    CHttpClient winInet_;
    CHttpClientPoco poco_;
    int preference_;
    bool useWinInet_;
};
