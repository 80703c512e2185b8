#pragma once
// The update run as the main window's background job: the job's shell
// around the update pass. It owns the worker thread that runs the pass, the
// stop, the two HTTP clients, the timer's duties (progress and speed on the
// window, the end of a run, the game's watch) and the reports of the run's
// start and stop.
//
// The window's thread touches the pass and the clients only while no worker
// lives: a worker that outlives the stop's budget keeps its handle, and a
// start asked for meanwhile waits for it on the timer.

#include <windows.h>

#include <atomic>

#include "support/win_handles.h"
#include "update/game_launch.h"
#include "update/http_client_choice.h"
#include "update/launcher_handover.h"
#include "update/launcher_process.h"
#include "update/launcher_window.h"
#include "update/run_progress.h"
#include "update/update_pass.h"

class CReportClient;

class CFileUpdater : public ILauncherProcess {
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

private:
    static DWORD WINAPI WorkerMain(void* self);
    // True once no worker lives.
    bool StopWorker(DWORD budgetMs);
    bool WorkerLives() const;
    void SignalStop();
    void FinishRun();
    // Starts again once the old worker has ended.
    void Restart();

    ILauncherWindow* window_;
    CReportClient* reports_;
    const bool launcherWasUpdated_;

    CHttpClientChoice clients_;
    RunProgress progress_;
    UniqueHandle stopEvent_;
    // Set with the stop event, cleared when Start resets it. The worker asks
    // between every two chunks: a flag beside the event spares it a call into
    // the system (a round trip to the Wine server) each time.
    std::atomic<bool> stopSignalled_{false};
    CUpdatePass pass_;
    UniqueHandle worker_;
    DWORD workerId_ = 0;
    bool restartPending_ = false;
    CGameLaunch game_;
};
