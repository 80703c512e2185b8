#pragma once
// Downloads and form posts over the Windows Internet API. Honours the system's
// proxy settings, resumes by moving WinINet's read position, and turns every
// WinINet failure into one line that names the failing step.

#include <functional>
#include <string>
#include <vector>

#include "net/blocking_call.h"
#include "net/http_client.h"
#include "net/wininet_handles.h"

class CHttpClient : public IHttpClient {
public:
    CHttpClient() = default;
    ~CHttpClient() override;
    CHttpClient(const CHttpClient&) = delete;
    CHttpClient& operator=(const CHttpClient&) = delete;

    // A failure to open the session or to connect is not reported here: its
    // text waits for the next Download.
    void Connect(const std::wstring& host) override;
    const std::wstring& GetServer() const override;
    void SetEvents(IHttpEvents* events) override;
    void Download(const std::wstring& remotePath, const std::wstring& localPath, DWORD offset) override;
    bool Post(const std::wstring& page, const std::string& body) override;
    void Process() override;
    void Cancel() override;
    void SetRedirectHosts(const std::vector<std::wstring>& hosts) override;
    void Interrupt() override;

private:
    bool OpenSession();
    bool SendDownloadRequest(DWORD flags);
    bool Await(const std::function<BOOL()>& call, int row);
    int StatusCode();
    std::wstring QueryLocation();
    bool QueryText(DWORD infoLevel, wchar_t* buffer, DWORD bufferBytes);
    bool HasHeaderFields();
    void Report(const std::wstring& text);
    void RecordError(int row, bool report);
    void CloseTransfer();
    static void CALLBACK StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info,
                                        DWORD infoLength);

    UniqueInternetHandle internet_;
    UniqueInternetHandle connection_;
    // To another server of the list, while a redirect leads there.
    UniqueInternetHandle redirectConnection_;
    UniqueInternetHandle request_;
    IHttpEvents* events_ = nullptr;
    UniqueHandle file_;
    ULONGLONG expectedTotal_ = 0;
    ULONGLONG received_ = 0;
    std::wstring server_;
    std::wstring localFile_;
    std::wstring remotePath_;
    // Text of the last failure recorded without being reported.
    std::wstring lastError_;
    bool finished_ = false;
    std::vector<std::wstring> redirectHosts_;
    CBlockingCall blocking_;
};
