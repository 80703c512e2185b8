#pragma once
// The application object: the toolkit's application module plus the UI
// language and the main window that jobs and dialogs act on.

#include <windows.h>

#include "ui/toolkit/app_module.h"

class ILauncherWindow;

class CLauncherApp : public CAppModule {
public:
    WORD UiLanguage() const;
    void SetUiLanguage(WORD languageId);

    ILauncherWindow* CurrentWindow() const { return currentWindow_; }
    void SetCurrentWindow(ILauncherWindow* window) { currentWindow_ = window; }

private:
    ILauncherWindow* currentWindow_ = nullptr;
};

extern CLauncherApp g_app;
