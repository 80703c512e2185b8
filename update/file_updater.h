#pragma once
// The update run: the main window's background job. On a worker thread of its
// own it fetches the server list, picks a server, fetches the server's file
// index, plans, and downloads and unpacks the packages of the files that are
// out of date, one after the other, through the selected HTTP client. It never
// gives up on its own: every failure is logged, reported and retried after a
// short wait. The worker only drives the client; everything else happens in
// the client's callbacks on that thread.
//
// The worker and the window's thread share the progress counters and flags
// without a lock: the worker writes them, the timer tick reads them and clears
// the two change flags. The window's thread touches the queue and the clients
// only while no worker runs.

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "net/http_client.h"
#include "net/http_client_poco.h"
#include "net/http_client_wininet.h"
#include "support/win_handles.h"
#include "telemetry/failure_report_limit.h"
#include "telemetry/report_bodies.h"
#include "update/file_index.h"
#include "update/game_launch.h"
#include "update/launcher_handover.h"
#include "update/launcher_process.h"
#include "update/launcher_window.h"
#include "update/package_unpacker.h"

class CReportClient;
struct UpdatePlan;

class CFileUpdater : public IHttpEvents, public ILauncherProcess, public IUnpackEventReceiver {
public:
    // Reads the download settings; starts nothing. The window, the report
    // sender and the hand-over outlive the job. launcherWasUpdated: this
    // process was started right after the launcher replaced its own executable.
    CFileUpdater(ILauncherWindow* window, CReportClient* reports, ILauncherHandover* handover,
                 bool launcherWasUpdated);
    ~CFileUpdater() override;
    CFileUpdater(const CFileUpdater&) = delete;
    CFileUpdater& operator=(const CFileUpdater&) = delete;

    void Start() override;
    void Stop() override;
    void OnTimer(double elapsedSeconds) override;
    void LaunchGame() override;
    bool CheckFiles() override;
    bool IsFinished() override;
    void SetHttpPreference(int preference) override;

    void OnStart(const wchar_t* remotePath, DWORD totalSize) override;
    void OnComplete(const wchar_t* localPath) override;
    void OnData(DWORD byteCount) override;
    void OnError(const wchar_t* text) override;
    void OnMessage(const wchar_t* text) override;

    void OnUnpackFileDone(const IndexEntry& entry) override;
    void OnUnpackBytes(uint32_t count) override;
    void OnUnpackBegin(uint64_t totalSize) override;

private:
    static DWORD WINAPI WorkerMain(void* self);
    void RunWorker();
    void StopWorker();
    bool StopRequested() const;
    void SignalStop();
    void FinishRun();
    IHttpClient& Client();
    void SwitchClient(bool useWinInet);

    // Requests, in the order a pass makes them.
    void Request(const std::wstring& name, DWORD offset);
    void CountRestart(DWORD lost);
    void RequestServerList();
    void OnServerListArrived();
    void ChooseServer();
    void RequestIndexPackage();
    void OnIndexPackageArrived();
    void Plan();
    void QueuePlan(UpdatePlan& plan);
    void RequestNextFile();
    void OnPackageArrived(const std::wstring& packagePath);
    void RejectPackage(const std::wstring& packagePath, uint64_t received);
    void UncountPackage();
    bool UnpackedAsIndexed(const std::wstring& target, const IndexEntry& entry);
    bool UnpackSingle(const std::wstring& target, const std::wstring& package);
    bool UnpackLauncher(const std::wstring& target, const std::wstring& package, const IndexEntry& entry);
    enum class SelfUpdate { NotRequired, HandedOver, Skipped };
    SelfUpdate DecideSelfUpdate(const std::wstring& target, const std::wstring& package, uint64_t fileTime);
    void SkipSelfUpdate(const std::wstring& lines);
    void CompleteRun();

    // The whole-game package.
    void RequestFullPackage();
    void UnpackFullPackage();

    // Failures and their retries.
    void HandleFailure(const std::wstring& text, bool replan);
    void Retry(bool replan);
    void RequestAgain();

    bool AtEnd() const { return current_ >= queue_.size(); }
    std::wstring LocalPath(const std::wstring& name) const;
    void DateCurrentPackage();
    void DateFile(const std::wstring& path, uint64_t fileTime);
    void WriteCachedIndex();
    void WriteCachedIndexIfDue();
    void RestorePackageInFlight();
    RunFigures Figures() const;
    void AddLog(const std::wstring& text);

    ILauncherWindow* window_;
    CReportClient* reports_;
    ILauncherHandover* handover_;
    const bool launcherWasUpdated_;
    const std::wstring gameFolder_;
    const std::wstring productKeyWord_;

    CHttpClient winInet_;
    CHttpClientPoco poco_;
    bool useWinInet_;
    int httpPreference_;

    UniqueHandle worker_;
    UniqueHandle stopEvent_;
    CGameLaunch game_;

    std::atomic<bool> finished_{false};
    // Set with the stop event, cleared when Start resets it.
    std::atomic<bool> stopSignalled_{false};
    std::atomic<bool> closing_{false};
    std::atomic<bool> progressChanged_{false};
    std::atomic<bool> speedChanged_{false};
    std::atomic<DWORD> overallBytesDone_{0};
    std::atomic<DWORD> currentFileBytes_{0};
    // Bytes the current package had on disk when first requested: current
    // file bytes counts them, overall bytes done does not.
    DWORD uncountedBytes_ = 0;
    // Bytes the current package file holds while its transfer runs.
    DWORD packageBytes_ = 0;
    std::atomic<DWORD> speed_{0};

    std::vector<IndexEntry> queue_;
    size_t current_ = 0;
    std::vector<std::wstring> servers_;
    int serverIndex_ = -1;
    std::wstring serverDirectory_;
    FileIndex cachedIndex_;
    // Files completed since the cached index was last written.
    bool cachedIndexDirty_ = false;
    DWORD lastCachedIndexWrite_ = 0;

    bool singlePackageDownload_;
    bool fullPackageMode_ = false;
    bool integrityCheck_ = false;
    bool launcherHandled_ = false;
    // Unsafe index names are reported once per job.
    bool unsafeNamesReported_ = false;
    // The run handed over to a new launcher: nothing more is requested.
    bool idle_ = false;
    // A failure asked for a retry; the worker makes it once the client's call
    // has returned, so failing requests do not nest.
    bool retryPending_ = false;
    bool retryReplan_ = false;
    // The offset of the last request, and whether its answer said the
    // package is complete at that offset.
    DWORD requestedOffset_ = 0;
    bool packageComplete_ = false;
    // The server index of the last plan carries digests.
    bool indexHasHashes_ = true;

    int attempts_ = 0;
    DWORD speedWindowStart_ = 0;
    DWORD speedWindowBytes_ = 0;
    // Read by Stop on the window's thread for its report.
    std::atomic<DWORD> bytesToDownload_{0};
    std::atomic<DWORD> bytesSinceServerChoice_{0};
    std::atomic<int> errorCount_{0};

    std::wstring lastErrorText_;
    int repeatsForSwitching_ = 0;
    CFailureReportLimit reportLimit_;
};
