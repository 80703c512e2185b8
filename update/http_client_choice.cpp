#include "update/http_client_choice.h"

#include "services/settings_store.h"

namespace {

const wchar_t kHttpPreferenceSetting[] = L"Debug\\HttpPreference";
const wchar_t kUseWinInetSetting[] = L"Debug\\UseWinInet";

} // namespace

CHttpClientChoice::CHttpClientChoice()
    : preference_(g_settings.GetInt(kHttpPreferenceSetting, kPreferAutomatic))
{
    useWinInet_ = WantsWinInet();
}

IHttpClient& CHttpClientChoice::Current()
{
    if (useWinInet_)
        return winInet_;
    return poco_;
}

bool CHttpClientChoice::WantsWinInet() const
{
    if (preference_ == kPreferAutomatic)
        return g_settings.GetBool(kUseWinInetSetting, false);
    return preference_ == kPreferWinInet;
}

void CHttpClientChoice::SetPreference(int preference)
{
    preference_ = preference;
    g_settings.SetInt(kHttpPreferenceSetting, preference);
}

bool CHttpClientChoice::SwitchTo(bool useWinInet)
{
    if (useWinInet == useWinInet_)
        return false;
    useWinInet_ = useWinInet;
    g_settings.SetBool(kUseWinInetSetting, useWinInet);
    return true;
}

void CHttpClientChoice::SetEvents(IHttpEvents* events)
{
    winInet_.SetEvents(events);
    poco_.SetEvents(events);
}

void CHttpClientChoice::SetRedirectHosts(const std::vector<std::wstring>& hosts)
{
    winInet_.SetRedirectHosts(hosts);
    poco_.SetRedirectHosts(hosts);
}
