// POCO brings in winsock2.h, which has to come before windows.h.
#include <Poco/Exception.h>
#include <Poco/Net/HTTPClientSession.h>
#include <Poco/Net/HTTPRequest.h>
#include <Poco/Net/HTTPResponse.h>
#include <Poco/Net/Net.h>
#include <Poco/Net/NetException.h>
#include <Poco/Timespan.h>

#include "net/http_client_poco.h"

#include "net/download_file.h"
#include "net/redirect_policy.h"
#include "net/transfer_limits.h"
#include "services/string_ids.h"
#include "services/string_table.h"
#include "support/system_message.h"
#include "support/text_utils.h"

using Poco::Net::HTTPClientSession;
using Poco::Net::HTTPMessage;
using Poco::Net::HTTPRequest;
using Poco::Net::HTTPResponse;

namespace {

const char kUserAgent[] = "OrvixLauncherPoco";
const char kRangeHeader[] = "Range";
const long kSessionTimeoutSeconds = 30;
const std::streamsize kChunkSize = 16384;
const char kLocationHeader[] = "Location";
const DWORD kSelfResumePauseMs = 3;

void InitializeNetworkOnce()
{
    static const bool initialized = (Poco::Net::initializeNetwork(), true);
    (void)initialized;
}

// Callers pass paths relative to the server root, possibly with Windows
// separators and blanks.
std::wstring NormalisedUri(const std::wstring& remotePath)
{
    std::wstring uri = L"/" + remotePath;
    ReplaceChar(&uri[0], &uri[0] + uri.size(), L'\\', L'/');
    ReplaceAll(uri, L" ", L"%20");
    return uri;
}

std::string RangeFrom(DWORD offset)
{
    return "bytes=" + std::to_string(offset) + "-";
}

// The announced body length, or -1 when the answer announces none. A negative
// length is no length at all: its body could be read neither by count nor to
// the end of the connection.
Poco::Int64 BodyLength(const HTTPResponse& response)
{
    if (!response.hasContentLength())
        return HTTPMessage::UNKNOWN_CONTENT_LENGTH;
    Poco::Int64 length = response.getContentLength64();
    if (length < 0)
        throw Poco::Net::MessageException("Invalid Content-Length", response.get(HTTPMessage::CONTENT_LENGTH));
    return length;
}

UINT_PTR SocketOf(HTTPClientSession& session)
{
    return static_cast<UINT_PTR>(session.socket().impl()->sockfd());
}

} // namespace

CHttpClientPoco::CHttpClientPoco()
{
    InitializeNetworkOnce();
    ResetSession(server_);
}

CHttpClientPoco::~CHttpClientPoco() = default;

void CHttpClientPoco::Connect(const std::wstring& host)
{
    watchdog_.Rearm();
    server_ = host;
    // The session refuses a new host while it holds a connection; a fresh one
    // takes any, and nothing of an abandoned transfer stays open.
    DropResponse();
    file_.Reset();
    ResetSession(server_);
}

const std::wstring& CHttpClientPoco::GetServer() const
{
    return server_;
}

void CHttpClientPoco::SetEvents(IHttpEvents* events)
{
    events_ = events;
}

void CHttpClientPoco::Download(const std::wstring& remotePath, const std::wstring& localPath, DWORD offset)
{
    watchdog_.Rearm();
    // A redirect may have left the session on another server.
    if (response_ || session_->getHost() != WideToAnsi(server_)) {
        DropResponse();
        ResetSession(server_);
    }
    // A failing request must leave nothing open, also not the file of an
    // abandoned transfer.
    file_.Reset();
    finished_ = false;
    localFile_ = LocalFilePath(localPath);
    requestedPath_ = remotePath;
    remotePath_ = NormalisedUri(remotePath);
    expectedTotal_ = 0;
    received_ = 0;
    CreateFolderOfFile(localFile_);

    try {
        Request(ResumeOffset(localFile_, offset));
    } catch (const Poco::TimeoutException&) {
        FailRequest(StoppedSendingText(remotePath_));
    } catch (const Poco::Exception& e) {
        FailRequest(AnsiToWide(e.displayText()));
    } catch (const std::exception& e) {
        FailRequest(AnsiToWide(e.what()));
    }
}

void CHttpClientPoco::Request(DWORD offset)
{
    HTTPRequest request(HTTPRequest::HTTP_GET, WideToAnsi(remotePath_), HTTPMessage::HTTP_1_1);
    request.set("User-Agent", kUserAgent);
    if (offset != 0)
        request.set(kRangeHeader, RangeFrom(offset));
    HTTPResponse response;
    SendAndReceive(request, response);
    if (!FollowRedirects(request, response))
        return;

    if (response.getStatus() == HTTPResponse::HTTP_REQUESTED_RANGE_NOT_SATISFIABLE) {
        // The range starts at or past the end of the file on the server: ask
        // for the whole file to learn whether ours is complete or outdated.
        DropResponse();
        ResetSession(AnsiToWide(session_->getHost()));
        request.set(kRangeHeader, "");
        SendAndReceive(request, response);
        if (response.getStatus() == HTTPResponse::HTTP_OK && BodyLength(response) == offset) {
            DropResponse();
            expectedTotal_ = offset;
            if (events_)
                events_->OnStart(remotePath_.c_str(), offset);
            return;
        }
    }

    int status = response.getStatus();
    if (status != HTTPResponse::HTTP_OK && status != HTTPResponse::HTTP_PARTIAL_CONTENT) {
        FailRequest(FormatString(LoadLangString(IDS_HTTP_REQUEST_ERROR), remotePath_.c_str(),
                                 std::to_wstring(status).c_str()));
        return;
    }

    // A full answer is the whole file, also when a range was asked for: it
    // replaces what the local file holds instead of following it.
    DWORD start = status == HTTPResponse::HTTP_OK ? 0 : offset;
    Poco::Int64 length = BodyLength(response);
    if (length >= 0 && !FitsIndexSize(start, static_cast<ULONGLONG>(length))) {
        FailRequest(TooLargeText(remotePath_, static_cast<ULONGLONG>(length)));
        return;
    }
    received_ = start;
    // An unknown length counts as 0: the transfer is then complete at the end
    // of the stream.
    expectedTotal_ = length < 0 ? 0 : start + static_cast<ULONGLONG>(length);
    if (events_)
        events_->OnStart(remotePath_.c_str(), static_cast<DWORD>(expectedTotal_));

    UniqueHandle file = OpenDownloadFile(localFile_, start);
    if (!file) {
        FailRequest(FileCreationErrorText(localFile_, ::GetLastError()));
        return;
    }
    file_ = std::move(file);
}

// Follows the redirects the policy allows, each on a fresh connection, as the
// body of a redirect is not read. False, with the failure reported, when the
// policy refuses one.
bool CHttpClientPoco::FollowRedirects(HTTPRequest& request, HTTPResponse& response)
{
    CRedirectPolicy policy(server_, remotePath_, remotePath_, redirectHosts_);
    while (IsRedirectStatus(response.getStatus())) {
        RedirectHop hop;
        std::wstring failure;
        if (!policy.Follow(AnsiToWide(response.get(kLocationHeader, "")), hop, failure)) {
            FailRequest(failure);
            return false;
        }
        DropResponse();
        ResetSession(hop.host);
        request.setURI(WideToAnsi(hop.path));
        SendAndReceive(request, response);
    }
    return true;
}

// The whole answer header must arrive within the deadline of the request; the
// watchdog shuts the socket when it does not.
void CHttpClientPoco::SendAndReceive(HTTPRequest& request, HTTPResponse& response)
{
    ULONGLONG deadline = ::GetTickCount64() + kAnswerDeadlineMs;
    session_->sendRequest(request);
    Watched(deadline, [this, &response] { response_ = &session_->receiveResponse(response); });
    // A broken connection or a timeout while reading must surface as a
    // failure, not as an end of stream that could pass for a complete file.
    response_->exceptions(std::ios::badbit);
}

bool CHttpClientPoco::Post(const std::wstring& page, const std::string& body)
{
    return true;
}

void CHttpClientPoco::Process()
{
    if (!response_)
        return;

    char buffer[kChunkSize];
    std::streamsize count = 0;
    try {
        count = ReadArrived(buffer);
    } catch (const Poco::TimeoutException&) {
        FailTransfer(StoppedSendingText(remotePath_));
        return;
    } catch (const Poco::Exception& e) {
        FailTransfer(AnsiToWide(e.displayText()));
        return;
    } catch (const std::exception& e) {
        FailTransfer(AnsiToWide(e.what()));
        return;
    }

    if (count > 0 && !StoreChunk(buffer, static_cast<DWORD>(count)))
        return;
    // The sink may have cancelled the transfer.
    if (!response_ || response_->good())
        return;
    EndOfStream();
}

// Waits for the first bytes only, within the deadline, and takes what has
// arrived, so a trickle is seen as progress rather than as one long wait for
// a full chunk.
std::streamsize CHttpClientPoco::ReadArrived(char* buffer)
{
    std::streamsize count = 0;
    Watched(::GetTickCount64() + kAnswerDeadlineMs, [this, buffer, &count] {
        if (response_->peek() != std::char_traits<char>::eof())
            count = response_->readsome(buffer, kChunkSize);
    });
    return count;
}

// Waits for the server with the socket watched until the deadline. A wait the
// watchdog cut short throws as a timeout, whatever the library made of the
// shut socket: an end of stream must not pass for a complete file.
void CHttpClientPoco::Watched(ULONGLONG deadlineTick, const std::function<void()>& wait)
{
    watchdog_.Arm(SocketOf(*session_), deadlineTick);
    try {
        wait();
    } catch (...) {
        ThrowIfCut();
        throw;
    }
    ThrowIfCut();
}

void CHttpClientPoco::ThrowIfCut()
{
    if (watchdog_.Disarm() != CSocketWatchdog::Cause::None)
        throw Poco::TimeoutException();
}

bool CHttpClientPoco::StoreChunk(const char* data, DWORD count)
{
    DWORD error = WriteChunk(file_.Get(), data, count);
    if (error != 0) {
        FailTransfer(SystemMessageText(error));
        return false;
    }
    received_ += count;
    if (events_)
        events_->OnData(count);
    return true;
}

void CHttpClientPoco::EndOfStream()
{
    if (expectedTotal_ == 0 || received_ >= expectedTotal_) {
        finished_ = true;
        file_.Reset();
        DropResponse();
        if (events_)
            events_->OnComplete(localFile_.c_str());
        return;
    }

    DropResponse();
    file_.Reset();
    ResetSession(server_);
    if (events_) {
        events_->OnError(LangText(IDS_TRANSFER_INCOMPLETE).c_str());
        return;
    }
    // Nobody to tell: resume on our own from what the file holds.
    ::SleepEx(kSelfResumePauseMs, TRUE);
    Download(requestedPath_, localFile_, static_cast<DWORD>(received_));
}

void CHttpClientPoco::Cancel()
{
    if (finished_)
        return;
    DropResponse();
    file_.Reset();
}

void CHttpClientPoco::SetRedirectHosts(const std::vector<std::wstring>& hosts)
{
    redirectHosts_ = hosts;
}

void CHttpClientPoco::Interrupt()
{
    watchdog_.Interrupt();
}

void CHttpClientPoco::DropResponse()
{
    if (!response_)
        return;
    response_ = nullptr;
    try {
        session_->abort();
    } catch (const Poco::Exception&) {
        // The socket was closed or broken already and may not have been
        // released: a fresh session makes sure nothing of it stays open.
        ResetSession(AnsiToWide(session_->getHost()));
    }
}

void CHttpClientPoco::ResetSession(const std::wstring& host)
{
    session_ = std::make_unique<HTTPClientSession>();
    session_->setHost(WideToAnsi(host));
    session_->setKeepAlive(true);
    session_->setTimeout(Poco::Timespan(kSessionTimeoutSeconds, 0));
}

void CHttpClientPoco::FailRequest(const std::wstring& text)
{
    DropResponse();
    file_.Reset();
    ResetSession(server_);
    if (events_)
        events_->OnError(text.c_str());
}

void CHttpClientPoco::FailTransfer(const std::wstring& text)
{
    DropResponse();
    file_.Reset();
    if (events_)
        events_->OnError(text.c_str());
}
