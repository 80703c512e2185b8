#include "app/placeholder_roads.h"

#include <memory>
#include <mutex>
#include <string>

#include "app/launcher_app.h"
#include "app/modeless_run.h"
#include "app/self_update_handover.h"
#include "app/self_update_stages.h"
#include "ui/localized_dialog.h"
#include "ui/options_dlg.h"
#include "ui/resources/resource.h"
#include "ui/toolkit/message_loop.h"
#include "update/file_updater.h"
#include "update/launcher_window.h"

namespace {

const UINT_PTR kJobTimer = 1;
const UINT kJobTickMs = 100;
const double kJobTickSeconds = 0.1;
// Log text queued by the job's worker has arrived for the log box.
const UINT kLogQueued = WM_APP + 1;

// Template 129 running the update job while it is open: the job's log goes
// to the log box, the other figures are not shown.
class CMainWindowPlaceholder : public CLangDialogImpl<CMainWindowPlaceholder>,
                               public CMessageFilter,
                               public ILauncherWindow {
public:
    enum { IDD = IDD_LAUNCHER };

    BOOL PreTranslateMessage(MSG* msg) override { return ::IsDialogMessageW(m_hWnd, msg); }

    bool ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM, LRESULT& result)
    {
        switch (message) {
        case WM_INITDIALOG:
            ::SendDlgItemMessageW(m_hWnd, IDC_LOG, EM_LIMITTEXT, 0, 0);
            g_app.SetCurrentWindow(this);
            SetProcess(new CFileUpdater(this, &g_app.Reports(), &handover_, LauncherWasUpdated()));
            ::SetTimer(m_hWnd, kJobTimer, kJobTickMs, nullptr);
            result = TRUE;
            return true;
        case WM_TIMER:
            // The job may close the window from its tick, which destroys it.
            if (wParam == kJobTimer && job_)
                job_->OnTimer(kJobTickSeconds);
            return true;
        case kLogQueued:
            ShowQueuedLog();
            return true;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_OPTIONS) {
                COptionsDlg(this).DoModal(m_hWnd);
                return true;
            }
            if (LOWORD(wParam) != IDCANCEL)
                return false;
            [[fallthrough]];
        case WM_CLOSE:
            if (job_)
                job_->Stop();
            DestroyWindow();
            return true;
        case WM_DESTROY:
            ::KillTimer(m_hWnd, kJobTimer);
            job_.reset();
            g_app.SetCurrentWindow(nullptr);
            ::PostQuitMessage(0);
            return true;
        default:
            return false;
        }
    }

    // Called on the job's worker too: the text travels to the window's thread.
    void AddLogText(const wchar_t* text) override
    {
        {
            std::lock_guard<std::mutex> lock(logLock_);
            queuedLog_ += text;
        }
        ::PostMessageW(m_hWnd, kLogQueued, 0, 0);
    }
    void SetTotalProgress(DWORD) override {}
    void SetFileProgress(DWORD) override {}
    void SetTotalSize(DWORD, int) override {}
    void SetCurrentFile(DWORD, int, const wchar_t*) override {}
    void OnProcessFinished() override {}
    bool IsAutoStartChecked() override { return false; }
    HWND GetWindowHandle() override { return m_hWnd; }
    void Close() override { DestroyWindow(); }
    void SetProcess(ILauncherProcess* process) override
    {
        std::unique_ptr<ILauncherProcess> old(job_.release());
        job_.reset(process);
        if (job_)
            job_->Start();
    }
    ILauncherProcess* GetProcess() override { return job_.get(); }
    void SetFileCaption(UINT) override {}
    void SetCountCaption(UINT) override {}
    void SetStageTitle(UINT) override {}
    void SetLocalPage(const wchar_t*) override {}
    void SetSpeed(DWORD) override {}

private:
    void ShowQueuedLog()
    {
        std::wstring text;
        {
            std::lock_guard<std::mutex> lock(logLock_);
            text.swap(queuedLog_);
        }
        if (text.empty())
            return;
        HWND log = GetDlgItem(IDC_LOG);
        ::SendMessageW(log, EM_SETSEL, static_cast<WPARAM>(-1), -1);
        ::SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    }

    CSelfUpdateHandover handover_;
    std::unique_ptr<ILauncherProcess> job_;
    std::mutex logLock_;
    std::wstring queuedLog_;
};

} // namespace

int RunMainWindow(int showCmd)
{
    return RunModelessDialog<CMainWindowPlaceholder>(showCmd);
}
