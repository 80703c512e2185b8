#pragma once
// Game-file downloads over POCO Net's HTTP client session: plain GET requests,
// resumed with a "Range" header, with the server's refusal of a range (416)
// answered by asking for the whole file again. Form posts are not supported;
// reports go through the WinINet client.

#include <functional>
#include <istream>
#include <memory>
#include <string>
#include <vector>

#include "net/http_client.h"
#include "net/socket_watchdog.h"
#include "support/win_handles.h"

namespace Poco {
namespace Net {
class HTTPClientSession;
class HTTPRequest;
class HTTPResponse;
} // namespace Net
} // namespace Poco

class CHttpClientPoco : public IHttpClient {
public:
    CHttpClientPoco();
    ~CHttpClientPoco() override;
    CHttpClientPoco(const CHttpClientPoco&) = delete;
    CHttpClientPoco& operator=(const CHttpClientPoco&) = delete;

    void Connect(const std::wstring& host) override;
    const std::wstring& GetServer() const override;
    void SetEvents(IHttpEvents* events) override;
    void Download(const std::wstring& remotePath, const std::wstring& localPath, DWORD offset) override;
    // Sends nothing and returns true.
    bool Post(const std::wstring& page, const std::string& body) override;
    void Process() override;
    void Cancel() override;
    void SetRedirectHosts(const std::vector<std::wstring>& hosts) override;
    void Interrupt() override;

private:
    void Request(DWORD offset);
    bool FollowRedirects(Poco::Net::HTTPRequest& request, Poco::Net::HTTPResponse& response);
    void SendAndReceive(Poco::Net::HTTPRequest& request, Poco::Net::HTTPResponse& response);
    std::streamsize ReadArrived(char* buffer);
    void Watched(ULONGLONG deadlineTick, const std::function<void()>& wait);
    void ThrowIfCut();
    bool StoreChunk(const char* data, DWORD count);
    void EndOfStream();
    void DropResponse();
    void ResetSession(const std::wstring& host);
    void FailRequest(const std::wstring& text);
    void FailTransfer(const std::wstring& text);

    std::unique_ptr<Poco::Net::HTTPClientSession> session_;
    IHttpEvents* events_ = nullptr;
    UniqueHandle file_;
    ULONGLONG expectedTotal_ = 0;
    ULONGLONG received_ = 0;
    std::wstring server_;
    std::wstring localFile_;
    // As the caller gave it, for the resume without a sink, and normalised
    // into the URI the request carries.
    std::wstring requestedPath_;
    std::wstring remotePath_;
    // Owned by the session; non-null while a response body is being read.
    std::istream* response_ = nullptr;
    bool finished_ = false;
    std::vector<std::wstring> redirectHosts_;
    CSocketWatchdog watchdog_;
};
