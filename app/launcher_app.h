#pragma once
// The application object: the toolkit's application module plus the UI
// language, the main window that jobs and dialogs act on, and the report
// sender.

#include <windows.h>

#include "telemetry/report_client.h"
#include "ui/toolkit/app_module.h"

class ILauncherWindow;

class CLauncherApp : public CAppModule {
public:
    WORD UiLanguage() const;
    void SetUiLanguage(WORD languageId);

    ILauncherWindow* CurrentWindow() const { return currentWindow_; }
    void SetCurrentWindow(ILauncherWindow* window) { currentWindow_ = window; }

    // Lives from program start to exit; the update run holds a pointer to it.
    CReportClient& Reports() { return reports_; }

private:
    ILauncherWindow* currentWindow_ = nullptr;
    CReportClient reports_;
};

extern CLauncherApp g_app;
