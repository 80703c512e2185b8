#pragma once
// Runs a modeless dialog in a message loop of its own, registered with the
// application module, until the dialog ends the loop.

#include <windows.h>

#include "app/launcher_app.h"
#include "ui/toolkit/message_loop.h"

// Dialog derives from CLangDialogImpl and CMessageFilter (for dialog keys).
// Returns the loop's exit code, or 0 when the dialog cannot be created.
template <class Dialog>
int RunModelessDialog(int showCmd)
{
    CMessageLoop loop;
    g_app.AddMessageLoop(&loop);
    Dialog dialog;
    int exitCode = 0;
    if (dialog.Create(nullptr)) {
        loop.AddMessageFilter(&dialog);
        ::ShowWindow(dialog.m_hWnd, showCmd);
        exitCode = loop.Run();
        loop.RemoveMessageFilter(&dialog);
    }
    g_app.RemoveMessageLoop();
    return exitCode;
}
