#pragma once
// The HTTP client interface the update run and the report sender use, and the
// callbacks through which a client reports a transfer to its owner.
//
// A download is started with Download and then driven chunk by chunk with
// Process, so the owner can stop between chunks. Everything that happens to it
// reaches the sink, on the thread that called the client. A client runs one
// transfer at a time and is not safe for concurrent use, except Interrupt.
//
// Every request has a deadline: its whole answer header within 30 s, and no
// silence in its body longer than 30 s. A download follows at most five
// redirects, over http, to its own host or a host of the server list; a post
// follows none.

#include <windows.h>
#include <string>
#include <vector>

// Implemented by the owner of a client. The slot order is part of the contract
// with the update run, which lists this interface as its first base.
struct IHttpEvents {
    // Answer headers accepted; total = size the local file will have when
    // complete (0 = unknown). Also when a re-requested file turns out to be
    // complete already: then total is the offset and nothing else follows.
    virtual void OnStart(const wchar_t* remotePath, DWORD totalSize) = 0;
    // The last chunk is stored and the file closed.
    virtual void OnComplete(const wchar_t* localPath) = 0;
    // A chunk of this many bytes (never 0) was written to the file.
    virtual void OnData(DWORD byteCount) = 0;
    // The transfer failed; the file and the request are closed already.
    virtual void OnError(const wchar_t* text) = 0;
    // An informational line for the owner's log.
    virtual void OnMessage(const wchar_t* text) = 0;
};

class IHttpClient {
public:
    virtual ~IHttpClient() = default;

    // Remembers the host (no scheme, no path) for the following requests, on
    // port 80. Called only while no download runs.
    virtual void Connect(const std::wstring& host) = 0;
    // The host of the last Connect; empty before any.
    virtual const std::wstring& GetServer() const = 0;
    // Installs the sink; null removes it.
    virtual void SetEvents(IHttpEvents* events) = 0;
    // Abandons any running transfer and requests the remote path into the
    // local file, from the offset on (0 = the whole file). On success the
    // transfer runs; on failure OnError has been called and nothing is open.
    virtual void Download(const std::wstring& remotePath, const std::wstring& localPath, DWORD offset) = 0;
    // Synchronous form post of an already form-encoded body. True only for a
    // real HTTP 2xx answer; a redirect, or an answer whose status cannot be
    // read, is a failure. A client that cannot post sends nothing and returns
    // true.
    virtual bool Post(const std::wstring& page, const std::string& body) = 0;
    // Moves one chunk of the running download; does nothing when none runs.
    virtual void Process() = 0;
    // Drops the running transfer and closes the local file, which stays on
    // disk for a later resume. Does nothing when no transfer runs.
    virtual void Cancel() = 0;

    // The hosts of the server list, where a download may be redirected
    // besides its own host. None until set.
    virtual void SetRedirectHosts(const std::vector<std::wstring>& hosts) {}
    // From any thread: the request blocked now ends at once as a failure, as
    // does every one until the next Connect, Download or Post. For a stop
    // that must not wait for a slow server.
    virtual void Interrupt() {}
};
