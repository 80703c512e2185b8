#pragma once
// The launcher's main window: the update run's progress, its log, the
// transfer speed and the launcher's web page, with "Start Game" and
// "Options". It owns the current job, starts the update run when it opens and
// drives the job with a 100 ms timer. Jobs act on it through ILauncherWindow,
// from their worker thread too: such calls run on the window's thread.

#include <functional>
#include <memory>
#include <string>

#include "ui/localized_dialog.h"
#include "ui/resources/resource.h"
#include "ui/toolkit/message_loop.h"
#include "update/launcher_process.h"
#include "update/launcher_window.h"

class CReportClient;
class ILauncherHandover;

class CLauncherWindow : public CAxLangDialogImpl<CLauncherWindow>,
                        public CMessageFilter,
                        public CIdleHandler,
                        public ILauncherWindow {
public:
    enum { IDD = IDD_LAUNCHER };

    CLauncherWindow(CMessageLoop& loop, CReportClient& reports, ILauncherHandover& handover,
                    bool launcherWasUpdated);
    ~CLauncherWindow() override;

    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnIdle() override;
    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    void AddLogText(const wchar_t* text) override;
    void SetTotalProgress(DWORD bytesDone) override;
    void SetFileProgress(DWORD bytesDone) override;
    void SetTotalSize(DWORD totalBytes, int fileCount) override;
    void SetCurrentFile(DWORD fileSize, int fileIndex, const wchar_t* text) override;
    void OnProcessFinished() override;
    bool IsAutoStartChecked() override;
    HWND GetWindowHandle() override;
    void Close() override;
    void SetProcess(ILauncherProcess* process) override;
    ILauncherProcess* GetProcess() override;
    void SetFileCaption(UINT captionEntry) override;
    void SetCountCaption(UINT captionEntry) override;
    void SetStageTitle(UINT titleEntry) override;
    void SetLocalPage(const wchar_t* path) override;
    void SetSpeed(DWORD bytesPerSecond) override;

private:
    void OnInitDialog();
    void NavigatePage();
    void CreateToggleTooltip();
    void ToggleLog();
    void OnCloseRequest();
    void RewriteCountLine();
    void SetBar(HWND bar, DWORD range, DWORD position);
    // Runs the call on the window's thread, waiting for it when it comes
    // from another thread.
    void OnWindowThread(const std::function<void()>& call);

    CMessageLoop& loop_;
    CReportClient& reports_;
    ILauncherHandover& handover_;
    const bool launcherWasUpdated_;
    DWORD windowThread_ = 0;

    HWND fileBar_ = nullptr;
    HWND totalBar_ = nullptr;
    HWND status_ = nullptr;
    HWND countLine_ = nullptr;
    HWND speed_ = nullptr;
    HWND autoStart_ = nullptr;
    HWND startGame_ = nullptr;
    HWND logToggle_ = nullptr;
    HWND log_ = nullptr;
    HWND tooltip_ = nullptr;

    std::wstring localPage_;
    int expandedHeight_ = 100;
    std::unique_ptr<ILauncherProcess> job_;

    int fileCount_ = 0;
    int currentFile_ = 0;
    DWORD totalBytes_ = 0;
    DWORD bytesDone_ = 0;
    int totalShift_ = 0;
    int fileShift_ = 0;
    UINT countCaption_ = 0;
    UINT fileCaption_ = 0;
    std::wstring speedSuffix_;
    std::wstring tooltipText_;
};
