#pragma once
// The update pass: fetches the server list, picks a server, fetches the
// server's file index, plans, and downloads and installs the packages of the
// files that are out of date, one after the other; or takes the whole-game
// road; or hands over to a new launcher. It never gives up on its own: every
// failure is logged, reported and retried after a short wait, on another
// server where the list has one.
//
// The pass is a sequence of steps that the worker loop advances (Run); the
// client's callbacks only count bytes and name the next step, so no step
// calls another and nothing nests. Every write to a game file goes through
// the cache keeper.

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "net/http_client.h"
#include "telemetry/failure_report_limit.h"
#include "update/cache_keeper.h"
#include "update/download_throttle.h"
#include "update/file_index.h"
#include "update/http_client_choice.h"
#include "update/keeper_folder_files.h"
#include "update/launcher_handover.h"
#include "update/launcher_window.h"
#include "update/package_installer.h"
#include "update/run_progress.h"
#include "update/self_update_decision.h"
#include "update/unpack_progress.h"
#include "update/whole_game_road.h"

class CReportClient;
class IPlanDisk;
struct DriveSpace;
struct UpdatePlan;

class CUpdatePass : public IHttpEvents, private ISelfUpdateRun {
public:
    // stop is set and stopEvent signalled together by the pass's owner.
    CUpdatePass(ILauncherWindow& window, CReportClient& reports, ILauncherHandover& handover,
                CHttpClientChoice& clients, RunProgress& progress, const std::atomic<bool>& stop,
                HANDLE stopEvent);
    CUpdatePass(const CUpdatePass&) = delete;
    CUpdatePass& operator=(const CUpdatePass&) = delete;

    // On the window's thread, while no worker runs: a new pass begins with
    // the server list; the figures of the last one are dropped.
    void Begin();
    // The worker's body: advances the steps until the pass completes or the
    // owner stops it.
    void Run();
    // The next pass checks every file against the server's digests.
    void RequestCheck();
    // Makes the client the preference asks for current (logged).
    void ApplyClientPreference();

    // The pass completed: every file is current.
    bool Finished() const { return finished_; }
    void ClearFinished() { finished_ = false; }
    // The hand-over to a new launcher is under way.
    bool Closing() const { return closing_; }

    void OnStart(const wchar_t* remotePath, DWORD totalSize) override;
    void OnComplete(const wchar_t* localPath) override;
    void OnData(DWORD byteCount) override;
    void OnError(const wchar_t* text) override;
    void OnMessage(const wchar_t* text) override;

private:
    void LogLine(const std::wstring& text) override;
    void Date(const std::wstring& path, uint64_t fileTime) override;
    bool Matches(const std::wstring& path, const IndexEntry& entry) override;

    // What the worker does next. A step that needs the next one names it
    // here and returns.
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

    void Advance(Step step);
    bool StopRequested() const { return stop_; }
    IHttpClient& Client() { return clients_.Current(); }
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
    void LoadCachedIndex();
    void Plan();
    bool ConfirmCheckWithoutDigests();
    bool MakeRoomFor(UpdatePlan& plan, IPlanDisk& disk);
    void WaitForSpace(uint64_t need, uint64_t free, const std::wstring& drive);
    bool DiskNearlyFull() const;
    DriveSpace GameDriveSpace() const;
    void QueuePlan(UpdatePlan& plan);
    int PlannedFileCount() const;
    void RequestNextFile();
    void OnPackageArrived(const std::wstring& packagePath);
    void RejectPackage(const std::wstring& packagePath, uint64_t received);
    void WaitForHeldFile(const std::wstring& target);
    std::wstring HeldFileText(const std::wstring& target, DWORD pauseSeconds) const;
    void Throttle(DWORD byteCount);
    void ReadSpeedLimit(ULONGLONG now);
    void UncountPackage();
    void LogMismatch(const std::wstring& name, const std::wstring& failure);
    bool UnpackSingle(const std::wstring& target, const std::wstring& package);
    void UpdateLauncher(const std::wstring& target, const std::wstring& package, const IndexEntry& entry);
    void CompleteRun();
    void RequestFullPackage();
    void UnpackFullPackage();
    void LeaveWholeGameRoad();

    // Failures and their retries.
    void HandleFailure(const std::wstring& text, bool replan);
    bool CountServerFailure();
    bool IsNotFound(const std::wstring& text) const;
    void Retry(bool replan);
    void RequestAgain();

    bool AtEnd() const { return current_ >= queue_.size(); }
    void ClearQueue();
    std::wstring LocalPath(const std::wstring& name) const;
    void DateCurrentPackage();
    void DateFile(const std::wstring& path, uint64_t fileTime);
    void AddLog(const std::wstring& text);

    ILauncherWindow& window_;
    CReportClient& reports_;
    ILauncherHandover& handover_;
    CHttpClientChoice& clients_;
    RunProgress& progress_;
    const std::atomic<bool>& stop_;
    const HANDLE stopEvent_;
    const std::wstring gameFolder_;
    const std::wstring productKeyWord_;

    std::atomic<bool> finished_{false};
    std::atomic<bool> closing_{false};

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
    CUnpackProgress checkProgress_;
    CWholeGameRoad wholeGame_;
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
    // Bytes the current package had on disk when first requested: current
    // file bytes counts them, overall bytes done does not.
    DWORD uncountedBytes_ = 0;
    // What this pass fetched and installed before the current plan (the
    // whole-game package), kept in the figures the window shows.
    DWORD fetchedBytes_ = 0;
    int fetchedFiles_ = 0;

    int attempts_ = 0;
    // The player's download speed limit, read again every second.
    CDownloadThrottle throttle_;
    ULONGLONG speedLimitRead_ = 0;
    bool speedLimitKnown_ = false;
    // The plan waits for room on the game's drive; told once per wait.
    bool waitingForSpace_ = false;
    // The pause before the held file of the current package is tried again;
    // 0 while no file is held.
    DWORD heldFilePause_ = 0;
    DWORD speedWindowStart_ = 0;
    DWORD speedWindowBytes_ = 0;
    std::wstring lastErrorText_;
    int repeatsForSwitching_ = 0;
    CFailureReportLimit reportLimit_;
};
