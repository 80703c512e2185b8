#pragma once
// The one report sender: tells the report server what happens on the player's
// machine with form posts through a WinINet client of its own. The window and
// the update run only queue a report, whose body is made at once; one thread
// of the sender posts them in order, so a slow report server holds up
// neither. A report never shows anything and is never retried; only error
// logs look at the result, and are deleted once the server has answered 2xx
// to them. At exit the queue gets a few seconds; what is left is lost, except
// error logs, which stay on disk for the next start.

#include <windows.h>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "net/http_client_wininet.h"
#include "telemetry/hardware_facts.h"
#include "telemetry/report_bodies.h"

class CReportClient {
public:
    // Reports go to the host of string-table entry 147, in the interface
    // language of the moment; the survey asks this machine.
    CReportClient();
    // Reports go to the given host and the survey asks the given facts, which
    // must outlive the client.
    CReportClient(const std::wstring& host, IHardwareFacts& facts);
    // Gives the queue kExitGraceMs, then ends a post still waiting and waits
    // for the sending thread.
    ~CReportClient();
    CReportClient(const CReportClient&) = delete;
    CReportClient& operator=(const CReportClient&) = delete;

    // The start of an update run: connect to the report host, send the
    // configuration once per installation, the error logs, then event 1.
    void SendStartReports();
    // Event 2: the update run has ended, having received this many bytes since
    // it last selected a server.
    void SendUpdateFinished(DWORD bytes);
    // Event 3: the player starts the game.
    void SendGameStart();
    // Events 10 (a failed request) and 12 (the plan failed). The update run
    // decides which failures to report (CFailureReportLimit).
    void SendFailure(int event, const RunFigures& figures, int serverIndex, const std::wstring& text);
    // Event 11: the update run is stopped before it finished; carries the
    // refusal poll's answer.
    void SendStop(const RunFigures& figures);

    // The refusal poll's answer, sent with event 11.
    void SetPollAnswer(int option, const std::wstring& text);
    // The update run has selected an update server: elapsed times count from now.
    void RestartTimer();

    // Waits until every queued report has been posted, at most timeoutMs;
    // true when none is left.
    bool WaitUntilSent(DWORD timeoutMs);

    static const DWORD kExitGraceMs = 3000;
    // More waiting reports than a run can sensibly produce: a report server
    // that never answers must not make the queue grow without bound.
    static const size_t kQueueLimit = 256;

private:
    struct Job {
        // Empty: a post. Otherwise connect to this host first.
        std::wstring connectHost;
        UINT page = 0;
        std::string body;
        // The error log to delete once the server has taken it.
        std::wstring sentFile;
    };

    void EnqueueLocked(Job job);
    void QueuePostLocked(UINT page, const std::string& body);
    void QueueErrorLogsLocked(const std::string& identifier);
    std::wstring HostLocked() const;
    long long ElapsedLocked() const;
    void SendQueued();
    void Execute(const Job& job);

    // Touched by the sending thread only.
    CHttpClient client_;
    long long startTime_;
    int pollOption_ = 0;
    std::wstring pollText_;
    // Empty: the host of the string table.
    std::wstring host_;
    CPlatformHardwareFacts platformFacts_;
    IHardwareFacts* facts_;

    // Reports come from the window's thread and the update run's worker.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> queue_;
    bool sending_ = false;
    bool quitting_ = false;
    bool stopped_ = false;
    std::thread sender_;
};
