#include "app/launcher_app.h"

#include "services/string_table.h"

CLauncherApp g_app;

WORD CLauncherApp::UiLanguage() const
{
    return CurrentLanguage();
}

void CLauncherApp::SetUiLanguage(WORD languageId)
{
    SetCurrentLanguage(languageId);
}
