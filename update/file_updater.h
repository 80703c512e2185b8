#pragma once
// The update run: the main window's background job. On a worker thread of its
// own it fetches the server list, picks a server, fetches the server's file
// index, plans, and downloads and unpacks the packages of the files that are
// out of date, one after the other, through the selected HTTP client. It never
// gives up on its own: every failure is logged, reported and retried after a
// short wait. The pass is a sequence of steps that the worker loop advances;
// the client's callbacks only count bytes and name the next step. Every
// write to a game file goes through the cache keeper.
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
#include "update/cache_keeper.h"
#include "update/file_index.h"
#include "update/game_launch.h"
#include "update/launcher_handover.h"
#include "update/launcher_process.h"
#include "update/launcher_window.h"
#include "update/keeper_folder_files.h"
#include "update/package_installer.h"
#include "update/package_unpacker.h"
#include "update/self_update_decision.h"

class CReportClient;
struct UpdatePlan;

class CFileUpdater : public IHttpEvents,
                     public ILauncherProcess,
                     public IUnpackEventReceiver,
                     private ISelfUpdateRun {
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
    void OnUnpackFileBegin(const IndexEntry& entry) override;

private:
    void LogLine(const std::wstring& text) override;
    void Date(const std::wstring& path, uint64_t fileTime) override;
    bool Matches(const std::wstring& path, const IndexEntry& entry) override;

    // What the worker does next. A step that needs the next one names it
    // here and returns; the worker loop runs it, so no step calls another
    // through a callback and nothing nests.
    enum class Step {
        Transfer,           // drive the running download
        RequestServerList,
        ServerListArrived,
        IndexArrived,
        Plan,
        NextFile,
        FileArrived,
        WholeGameArrived,
        Retry,
        Idle,               // handed over to a new launcher: nothing more
    };

    static DWORD WINAPI WorkerMain(void* self);
    void RunWorker();
    void Advance(Step step);
    void StopWorker();
    bool StopRequested() const;
    void SignalStop();
    void FinishRun();
    IHttpClient& Client();
    void SwitchClient(bool useWinInet);

    // Requests, in the order a pass makes them. A request names the step
    // its arrival leads to and the most bytes its file may hold.
    void Request(const std::wstring& name, DWORD offset, Step arrival, uint64_t cap);
    void RefuseTransfer(uint64_t size);
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
    void LogMismatch(const std::wstring& name, const std::wstring& failure);
    bool UnpackSingle(const std::wstring& target, const std::wstring& package);
    void UpdateLauncher(const std::wstring& target, const std::wstring& package, const IndexEntry& entry);
    void CompleteRun();
    int PlannedFileCount() const;

    // The whole-game package.
    void RequestFullPackage();
    uint64_t FullPackageCap() const;
    void UnpackFullPackage();

    // Failures and their retries.
    void HandleFailure(const std::wstring& text, bool replan);
    bool CountServerFailure();
    bool IsNotFound(const std::wstring& text) const;
    void Retry(bool replan);
    void RequestAgain();

    bool AtEnd() const { return current_ >= queue_.size(); }
    std::wstring LocalPath(const std::wstring& name) const;
    void DateCurrentPackage();
    void DateFile(const std::wstring& path, uint64_t fileTime);
    void LoadCachedIndex();
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
    std::atomic<DWORD> speed_{0};

    Step next_ = Step::RequestServerList;
    // The step the running request's arrival leads to; a retry asks again
    // for what it names.
    Step arrival_ = Step::ServerListArrived;
    std::vector<IndexEntry> queue_;
    size_t current_ = 0;
    std::vector<std::wstring> servers_;
    // Failures in a row of each listed server, with no data in between.
    std::vector<int> serverFailures_;
    int serverIndex_ = -1;
    std::wstring serverDirectory_;
    CGameFolderInstallDisk installDisk_;
    CKeeperFolderFiles keeperFiles_;
    CCacheKeeper keeper_;
    // The server's index of the last plan.
    FileIndex planIndex_;

    bool singlePackageDownload_;
    bool integrityCheck_ = false;
    bool launcherHandled_ = false;
    // Unsafe index names and a skipped self-update are reported once per job.
    bool unsafeNamesReported_ = false;
    bool selfUpdateSkipReported_ = false;
    bool retryReplan_ = false;
    // The running request: its local path, the offset asked for, the bytes its
    // file holds and may hold, whether its answer said the file is complete
    // at that offset, and whether its announced length was refused.
    std::wstring requestedLocal_;
    DWORD requestedOffset_ = 0;
    uint64_t transferBytes_ = 0;
    uint64_t transferCap_ = 0;
    bool packageComplete_ = false;
    uint64_t refusedSize_ = 0;
    // The server index of the last plan carries digests.
    bool indexHasHashes_ = true;
    // What this run fetched and installed before the current plan (the
    // whole-game package), kept in the figures the window shows.
    DWORD fetchedBytes_ = 0;
    int fetchedFiles_ = 0;

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
