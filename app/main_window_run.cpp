#include "app/main_window_run.h"

#include "app/launcher_app.h"
#include "app/self_update_handover.h"
#include "app/self_update_stages.h"
#include "ui/launcher_window.h"
#include "ui/toolkit/message_loop.h"

int RunMainWindow(int showCmd)
{
    CMessageLoop loop;
    g_app.AddMessageLoop(&loop);
    int exitCode = 0;
    {
        CSelfUpdateHandover handover;
        CLauncherWindow window(loop, g_app.Reports(), handover, LauncherWasUpdated());
        g_app.SetCurrentWindow(&window);
        if (window.Create(nullptr)) {
            ::ShowWindow(window.m_hWnd, showCmd);
            exitCode = loop.Run();
        }
        g_app.SetCurrentWindow(nullptr);
    }
    g_app.RemoveMessageLoop();
    return exitCode;
}
