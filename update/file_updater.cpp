#include "update/file_updater.h"

#include <wininet.h>

#include <string>

#include "services/string_ids.h"
#include "services/string_table.h"
#include "support/message_wait.h"
#include "support/thread_questions.h"
#include "telemetry/report_client.h"

namespace {

// What the window's thread waits for a stopped worker before it goes on
// without it; every step of the pass ends well within it.
const DWORD kStopWaitMs = 20000;

} // namespace

CFileUpdater::CFileUpdater(ILauncherWindow* window, CReportClient* reports, ILauncherHandover* handover,
                           bool launcherWasUpdated)
    : window_(window),
      reports_(reports),
      launcherWasUpdated_(launcherWasUpdated),
      stopEvent_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      pass_(*window, *reports, *handover, clients_, progress_, stopSignalled_, stopEvent_.Get())
{
    clients_.SetEvents(&pass_);
}

// The pass and the clients may not go while a worker is inside them.
CFileUpdater::~CFileUpdater()
{
    if (!worker_)
        return;
    StopWorker(INFINITE);
    if (!pass_.Finished())
        clients_.Current().Cancel();
}

void CFileUpdater::Start()
{
    // A worker that has just finished may still be ending; the pass and the
    // clients are touched only once it has.
    if (!StopWorker(kStopWaitMs)) {
        restartPending_ = true;
        return;
    }
    restartPending_ = false;
    window_->SetFileCaption(IDS_DOWNLOADING);
    window_->SetCountCaption(IDS_FILES_DOWNLOADED);
    window_->SetStageTitle(IDS_STAGE_UPDATING);
    window_->SetCurrentFile(0, 0, L"");
    window_->SetTotalSize(0, 0);
    window_->SetTotalProgress(0);
    if (launcherWasUpdated_)
        window_->AddLogText((std::wstring(LoadLangString(IDS_LAUNCHER_UPDATED)) + L"\r\n").c_str());

    DWORD connection = 0;
    if (!::InternetGetConnectedState(&connection, 0)) {
        FinishRun();
        return;
    }

    ::ResetEvent(stopEvent_.Get());
    stopSignalled_ = false;
    pass_.ApplyClientPreference();
    pass_.Begin();
    if (!pass_.Finished())
        worker_.Reset(::CreateThread(nullptr, 0, WorkerMain, this, 0, &workerId_));
    if (!launcherWasUpdated_)
        reports_->SendStartReports();
}

void CFileUpdater::Stop()
{
    if (pass_.Finished() || pass_.Closing())
        return;
    reports_->SendStop(progress_.Figures());
    StopWorker(kStopWaitMs);
}

void CFileUpdater::OnTimer(double elapsedSeconds)
{
    if (progress_.progressChanged.exchange(false)) {
        const DWORD overall = progress_.overallBytesDone;
        if (overall != 0)
            window_->SetTotalProgress(overall);
        window_->SetFileProgress(progress_.currentFileBytes);
    }
    if (!pass_.Finished() && progress_.speedChanged.exchange(false))
        window_->SetSpeed(progress_.speed);
    if (pass_.Finished() && worker_) {
        StopWorker(kStopWaitMs);
        FinishRun();
    }
    if (restartPending_ && !WorkerLives())
        Start();
    // Closing the window destroys this job: nothing may follow.
    if (game_.ShouldClose(elapsedSeconds))
        window_->Close();
}

void CFileUpdater::LaunchGame()
{
    game_.Launch(*window_, *reports_);
}

bool CFileUpdater::CheckFiles()
{
    if (!pass_.Finished())
        return false;
    pass_.RequestCheck();
    Start();
    return true;
}

bool CFileUpdater::IsFinished()
{
    return pass_.Finished();
}

void CFileUpdater::SetHttpPreference(int preference)
{
    clients_.SetPreference(preference);
    if (clients_.Automatic() || clients_.WantsWinInet() == clients_.UsesWinInet())
        return;
    if (pass_.Finished() && !WorkerLives()) {
        pass_.ApplyClientPreference();
        return;
    }
    Restart();
}

void CFileUpdater::Restart()
{
    if (!StopWorker(kStopWaitMs)) {
        restartPending_ = true;
        return;
    }
    clients_.Current().Cancel();
    Start();
}

DWORD WINAPI CFileUpdater::WorkerMain(void* self)
{
    static_cast<CFileUpdater*>(self)->pass_.Run();
    return 0;
}

bool CFileUpdater::StopWorker(DWORD budgetMs)
{
    if (!worker_)
        return true;
    SignalStop();
    // A request waiting on a slow server ends now, not at its deadline; a
    // question the worker has up is answered "No".
    clients_.Current().Interrupt();
    AnswerThreadQuestions(workerId_, IDNO);
    if (WaitDeliveringSentMessages(worker_.Get(), budgetMs) != WAIT_OBJECT_0)
        return false;
    worker_.Reset();
    return true;
}

bool CFileUpdater::WorkerLives() const
{
    return worker_ && ::WaitForSingleObject(worker_.Get(), 0) == WAIT_TIMEOUT;
}

void CFileUpdater::SignalStop()
{
    stopSignalled_ = true;
    ::SetEvent(stopEvent_.Get());
}

void CFileUpdater::FinishRun()
{
    reports_->SendUpdateFinished(progress_.bytesSinceServerChoice);
    window_->SetSpeed(ILauncherWindow::kHideSpeed);
    window_->OnProcessFinished();
    if (window_->IsAutoStartChecked())
        LaunchGame();
}
