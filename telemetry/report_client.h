#pragma once
// The one report sender: tells the report server what happens on the player's
// machine with synchronous form posts through a WinINet client of its own. A
// report never shows anything and is never retried; only error logs look at
// the result, and are deleted once the server has accepted them.

#include <windows.h>
#include <mutex>
#include <string>

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

private:
    void ConnectLocked();
    bool PostLocked(UINT pageEntry, const std::string& body);
    void SendConfigurationLocked(const std::string& identifier);
    void SendErrorLogsLocked(const std::string& identifier);
    long long ElapsedLocked() const;

    CHttpClient client_;
    long long startTime_;
    int pollOption_ = 0;
    std::wstring pollText_;
    // Empty: the host of the string table.
    std::wstring host_;
    CPlatformHardwareFacts platformFacts_;
    IHardwareFacts* facts_;
    // Reports come from the window's thread and the update run's worker; one
    // WinINet client must not serve both at once.
    std::mutex mutex_;
};
