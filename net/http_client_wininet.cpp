#include "net/http_client_wininet.h"

#include <algorithm>
#include <cwchar>
#include <memory>

#include "net/download_file.h"
#include "net/redirect_policy.h"
#include "net/transfer_limits.h"
#include "net/wininet_error_text.h"
#include "services/string_ids.h"
#include "services/string_table.h"
#include "support/system_message.h"
#include "support/text_utils.h"

namespace {

const wchar_t kUserAgent[] = L"OrvixLauncher";
const wchar_t kConnectionUser[] = L"OrvixLauncherUser";
const wchar_t* kDownloadAcceptTypes[] = {L"application/x-zip-compressed", L"*/*", nullptr};
const wchar_t* kPostAcceptTypes[] = {L"*/*", nullptr};
const wchar_t kPostHeaders[] = L"Content-Type: application/x-www-form-urlencoded; charset=UTF-8";
const DWORD kChunkSize = 2048;
const DWORD kSelfResumePauseMs = 5;
const DWORD kDownloadQueryChars = 64;
const DWORD kLocationChars = 2048;
// Each socket wait of WinINet's own is bounded too, so a call given up on
// ends by itself in the end and frees its thread.
const DWORD kTimeoutMs = kAnswerDeadlineMs;
const int kStatusOk = 200;

// Rows of the error line: each names the step that failed.
const int kRowConnect = 86;
const int kRowOpenSession = 134;
const int kRowOpenRequest = 186;
const int kRowSendRequest = 191;
const int kRowReadFile = 271;
const int kRowPost = 355;

// What a call run off the caller's thread leaves behind: it may finish after
// the caller gave up on it, so it owns its results.
struct CallResult {
    BOOL ok = FALSE;
    DWORD error = 0;
};

struct Chunk {
    char data[kChunkSize];
    DWORD count = 0;
};

bool IsSuccess(int status)
{
    return status >= 200 && status < 300;
}

// The announced length; a value past 64 bits counts as the largest one, which
// no file can have either.
bool ParseLength(const wchar_t* text, ULONGLONG& length)
{
    if (*text < L'0' || *text > L'9')
        return false;
    wchar_t* end = nullptr;
    length = _wcstoui64(text, &end, 10);
    return *end == L'\0';
}

struct ProxySettings {
    DWORD accessType = INTERNET_OPEN_TYPE_DIRECT;
    std::wstring proxy;
    std::wstring bypass;
};

// The proxy of the default connection as the system is set up; direct access
// when it names none or cannot be asked.
ProxySettings SystemProxy()
{
    INTERNET_PER_CONN_OPTIONW options[3] = {};
    options[0].dwOption = INTERNET_PER_CONN_FLAGS;
    options[1].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
    options[2].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
    INTERNET_PER_CONN_OPTION_LISTW list = {};
    list.dwSize = sizeof(list);
    list.dwOptionCount = 3;
    list.pOptions = options;
    DWORD size = sizeof(list);

    ProxySettings settings;
    if (!::InternetQueryOptionW(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size))
        return settings;
    UniqueGlobalText bypass(options[1].Value.pszValue);
    UniqueGlobalText proxy(options[2].Value.pszValue);
    // Passed whole, however long: a cut proxy name would name another server.
    if (bypass)
        settings.bypass = bypass.Get();
    if (proxy)
        settings.proxy = proxy.Get();
    if ((options[0].Value.dwValue & PROXY_TYPE_PROXY) && !settings.proxy.empty())
        settings.accessType = INTERNET_OPEN_TYPE_PROXY;
    return settings;
}

} // namespace

CHttpClient::~CHttpClient()
{
    // A notification WinINet delivers after a handle's close must not reach
    // this object once it is gone: each handle carries its own callback.
    for (HINTERNET handle : {request_.Get(), redirectConnection_.Get(), connection_.Get(), internet_.Get()}) {
        if (handle)
            ::InternetSetStatusCallbackW(handle, nullptr);
    }
    CloseTransfer();
    connection_.Reset();
    internet_.Reset();
}

void CHttpClient::Connect(const std::wstring& host)
{
    blocking_.Rearm();
    CloseTransfer();
    connection_.Reset();
    if (!internet_ && !OpenSession())
        return;
    server_ = host;
    connection_.Reset(::InternetConnectW(internet_.Get(), host.c_str(), INTERNET_DEFAULT_HTTP_PORT, kConnectionUser,
                                         nullptr, INTERNET_SERVICE_HTTP, 0, reinterpret_cast<DWORD_PTR>(this)));
    if (!connection_) {
        RecordError(kRowConnect, false);
        return;
    }
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        DWORD timeout = kTimeoutMs;
        ::InternetSetOptionW(connection_.Get(), option, &timeout, sizeof(timeout));
    }
}

bool CHttpClient::OpenSession()
{
    ProxySettings proxy = SystemProxy();
    bool viaProxy = proxy.accessType == INTERNET_OPEN_TYPE_PROXY;
    internet_.Reset(::InternetOpenW(kUserAgent, proxy.accessType, viaProxy ? proxy.proxy.c_str() : nullptr,
                                    viaProxy ? proxy.bypass.c_str() : nullptr, 0));
    if (internet_) {
        ::InternetSetStatusCallbackW(internet_.Get(), StatusCallback);
        return true;
    }
    if (events_) {
        RecordError(kRowOpenSession, false);
        std::wstring line = FormatString(L"InternetOpen(AccessType: %d, Proxy: \"%s\", ProxyBypass: \"%s\", Flags: 0)",
                                         static_cast<int>(proxy.accessType), proxy.proxy.c_str(),
                                         proxy.bypass.c_str());
        events_->OnMessage(line.c_str());
    }
    return false;
}

const std::wstring& CHttpClient::GetServer() const
{
    return server_;
}

void CHttpClient::SetEvents(IHttpEvents* events)
{
    events_ = events;
}

void CHttpClient::Download(const std::wstring& remotePath, const std::wstring& localPath, DWORD offset)
{
    if (!internet_ || !connection_) {
        Report(lastError_);
        return;
    }
    blocking_.Rearm();
    CloseTransfer();
    finished_ = false;
    localFile_ = LocalFilePath(localPath);
    remotePath_ = remotePath;
    expectedTotal_ = 0;
    received_ = 0;
    CreateFolderOfFile(localFile_);
    offset = ResumeOffset(localFile_, offset);

    DWORD flags = INTERNET_FLAG_KEEP_CONNECTION;
    if (offset == 0)
        flags |= INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
    if (!SendDownloadRequest(flags))
        return;

    // When the read position cannot be moved, the answer is read from its
    // first byte and the local file is written anew.
    DWORD start = 0;
    if (offset != 0 && ::InternetSetFilePointer(request_.Get(), static_cast<LONG>(offset), nullptr, FILE_CURRENT, 0) !=
                           INVALID_SET_FILE_POINTER)
        start = offset;
    received_ = start;

    wchar_t status[kDownloadQueryChars];
    if (QueryText(HTTP_QUERY_STATUS_CODE, status, sizeof(status)) && std::wcstol(status, nullptr, 10) != kStatusOk) {
        CloseTransfer();
        Report(FormatString(LoadLangString(IDS_HTTP_REQUEST_ERROR), remotePath_.c_str(), status));
        return;
    }
    wchar_t length[kDownloadQueryChars];
    ULONGLONG announced = 0;
    if (QueryText(HTTP_QUERY_CONTENT_LENGTH, length, sizeof(length)) && ParseLength(length, announced)) {
        if (!FitsIndexSize(start, announced)) {
            CloseTransfer();
            Report(TooLargeText(remotePath_, announced));
            return;
        }
        expectedTotal_ = announced;
    }

    UniqueHandle file = OpenDownloadFile(localFile_, start);
    if (!file) {
        std::wstring text = FileCreationErrorText(localFile_, ::GetLastError());
        CloseTransfer();
        Report(text);
        return;
    }
    file_ = std::move(file);
}

// Sends the GET and follows the redirects the policy allows; false, with the
// failure reported, when no answer to read is left.
bool CHttpClient::SendDownloadRequest(DWORD flags)
{
    std::wstring path = remotePath_;
    std::replace(path.begin(), path.end(), L'\\', L'/');
    if (path.empty() || path[0] != L'/')
        path.insert(0, L"/");
    CRedirectPolicy policy(server_, path, remotePath_, redirectHosts_);
    HINTERNET connection = connection_.Get();
    std::wstring object = remotePath_;
    for (;;) {
        request_.Reset(::HttpOpenRequestW(connection, nullptr, object.c_str(), nullptr, nullptr, kDownloadAcceptTypes,
                                          flags | INTERNET_FLAG_NO_AUTO_REDIRECT, reinterpret_cast<DWORD_PTR>(this)));
        if (!request_) {
            RecordError(kRowOpenRequest, true);
            return false;
        }
        HINTERNET request = request_.Get();
        if (!Await([request] { return ::HttpSendRequestW(request, nullptr, 0, nullptr, 0); }, kRowSendRequest))
            return false;
        if (!IsRedirectStatus(StatusCode()))
            return true;

        RedirectHop hop;
        std::wstring failure;
        if (!policy.Follow(QueryLocation(), hop, failure)) {
            CloseTransfer();
            Report(failure);
            return false;
        }
        request_.Reset();
        object = hop.path;
        if (_wcsicmp(hop.host.c_str(), server_.c_str()) == 0)
            continue;
        redirectConnection_.Reset(::InternetConnectW(internet_.Get(), hop.host.c_str(), INTERNET_DEFAULT_HTTP_PORT,
                                                     kConnectionUser, nullptr, INTERNET_SERVICE_HTTP, 0,
                                                     reinterpret_cast<DWORD_PTR>(this)));
        if (!redirectConnection_) {
            RecordError(kRowConnect, true);
            return false;
        }
        connection = redirectConnection_.Get();
    }
}

bool CHttpClient::Post(const std::wstring& page, const std::string& body)
{
    blocking_.Rearm();
    finished_ = false;
    localFile_.clear();
    remotePath_ = page;
    CloseTransfer();

    // A report sent on is not stored: the server must answer it itself.
    request_.Reset(::HttpOpenRequestW(connection_.Get(), L"POST", page.c_str(), nullptr, nullptr, kPostAcceptTypes,
                                      INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                          INTERNET_FLAG_NO_AUTO_REDIRECT,
                                      reinterpret_cast<DWORD_PTR>(this)));
    if (!request_) {
        RecordError(kRowPost, true);
        return false;
    }
    auto utf8 = std::make_shared<std::string>(AnsiToUtf8(body.c_str()));
    HINTERNET request = request_.Get();
    if (!Await(
            [request, utf8] {
                return ::HttpSendRequestW(request, kPostHeaders, static_cast<DWORD>(-1), &(*utf8)[0],
                                          static_cast<DWORD>(utf8->size()));
            },
            kRowPost))
        return false;

    // Only a real 2xx answer counts as delivered: the caller deletes what it
    // sent. An answer without a status line reads as HTTP/0.9 with status 200.
    wchar_t status[kDownloadQueryChars] = L"";
    bool answered = QueryText(HTTP_QUERY_STATUS_CODE, status, sizeof(status));
    if (answered && IsSuccess(std::wcstol(status, nullptr, 10)) && HasHeaderFields())
        return true;
    CloseTransfer();
    Report(FormatString(LoadLangString(IDS_HTTP_REQUEST_ERROR), page.c_str(), answered ? status : L"?"));
    return false;
}

// Runs a blocking call on the current request within the deadline. False,
// with the failure reported and the request closed, when it failed, took too
// long or was interrupted. Closing the request also ends the call where
// WinINet allows it.
bool CHttpClient::Await(const std::function<BOOL()>& call, int row)
{
    auto result = std::make_shared<CallResult>();
    CBlockingCall::Outcome outcome = blocking_.Run(
        [call, result] {
            result->ok = call();
            result->error = ::GetLastError();
        },
        kAnswerDeadlineMs);
    if (outcome == CBlockingCall::Outcome::Done) {
        if (result->ok)
            return true;
        ::SetLastError(result->error);
        RecordError(row, true);
        return false;
    }
    CloseTransfer();
    Report(StoppedSendingText(remotePath_));
    return false;
}

int CHttpClient::StatusCode()
{
    wchar_t status[kDownloadQueryChars];
    return QueryText(HTTP_QUERY_STATUS_CODE, status, sizeof(status)) ? std::wcstol(status, nullptr, 10) : 0;
}

std::wstring CHttpClient::QueryLocation()
{
    wchar_t location[kLocationChars] = L"";
    QueryText(HTTP_QUERY_LOCATION, location, sizeof(location));
    return location;
}

bool CHttpClient::HasHeaderFields()
{
    DWORD size = 0;
    DWORD index = 0;
    ::HttpQueryInfoW(request_.Get(), HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &size, &index);
    if (size == 0)
        return false;
    std::wstring headers(size / sizeof(wchar_t) + 1, L'\0');
    index = 0;
    if (!::HttpQueryInfoW(request_.Get(), HTTP_QUERY_RAW_HEADERS_CRLF, &headers[0], &size, &index))
        return false;
    headers.resize(size / sizeof(wchar_t));
    // The status line, then at least one "Name: value" line.
    size_t lineEnd = headers.find(L"\r\n");
    return headers.compare(0, 5, L"HTTP/") == 0 && lineEnd != std::wstring::npos &&
           headers.find(L':', lineEnd) != std::wstring::npos;
}

void CHttpClient::Process()
{
    // The request a successful post leaves open is no download.
    if (!request_ || !file_)
        return;

    // Waits for the first bytes to arrive and takes what has, so a trickle
    // is seen as progress rather than as one long wait for a full chunk.
    auto chunk = std::make_shared<Chunk>();
    HINTERNET request = request_.Get();
    if (!Await(
            [request, chunk] {
                DWORD available = 0;
                if (!::InternetQueryDataAvailable(request, &available, 0, 0))
                    return FALSE;
                return ::InternetReadFile(request, chunk->data, std::min(available, kChunkSize), &chunk->count);
            },
            kRowReadFile))
        return;
    // WinINet passes on whatever the server sends, also past the announced
    // length: those bytes are no part of the file, and reaching the length
    // ends the transfer without waiting for more.
    DWORD count = chunk->count;
    if (expectedTotal_ != 0)
        count = static_cast<DWORD>(std::min<ULONGLONG>(count, received_ < expectedTotal_ ? expectedTotal_ - received_ : 0));
    received_ += count;
    if (count != 0) {
        DWORD error = WriteChunk(file_.Get(), chunk->data, count);
        if (error != 0) {
            CloseTransfer();
            Report(SystemMessageText(error));
            return;
        }
        if (events_)
            events_->OnData(count);
        // The sink may have cancelled the transfer.
        if (!file_ || expectedTotal_ == 0 || received_ < expectedTotal_)
            return;
    } else if (expectedTotal_ != 0 && received_ < expectedTotal_) {
        CloseTransfer();
        if (events_) {
            events_->OnError(LangText(IDS_TRANSFER_INCOMPLETE).c_str());
            return;
        }
        // Nobody to tell: resume on our own from what the file holds.
        ::Sleep(kSelfResumePauseMs);
        Download(remotePath_, localFile_, static_cast<DWORD>(received_));
        return;
    }

    finished_ = true;
    CloseTransfer();
    if (events_)
        events_->OnComplete(localFile_.c_str());
}

void CHttpClient::Cancel()
{
    if (finished_)
        return;
    CloseTransfer();
}

void CHttpClient::SetRedirectHosts(const std::vector<std::wstring>& hosts)
{
    redirectHosts_ = hosts;
}

void CHttpClient::Interrupt()
{
    blocking_.Interrupt();
}

bool CHttpClient::QueryText(DWORD infoLevel, wchar_t* buffer, DWORD bufferBytes)
{
    DWORD size = bufferBytes;
    DWORD index = 0;
    return ::HttpQueryInfoW(request_.Get(), infoLevel, buffer, &size, &index) != FALSE;
}

void CHttpClient::Report(const std::wstring& text)
{
    if (events_)
        events_->OnError(text.c_str());
}

void CHttpClient::RecordError(int row, bool report)
{
    // Taken before the handles are closed, which may change it.
    DWORD code = ::GetLastError();
    CloseTransfer();
    std::wstring text = WinInetErrorText(row, code);
    if (report)
        Report(text);
    else
        lastError_ = text;
}

void CHttpClient::CloseTransfer()
{
    file_.Reset();
    request_.Reset();
    redirectConnection_.Reset();
}

void CALLBACK CHttpClient::StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info,
                                          DWORD infoLength)
{
    if (status == INTERNET_STATUS_REQUEST_COMPLETE && context != 0)
        reinterpret_cast<CHttpClient*>(context)->finished_ = true;
}
