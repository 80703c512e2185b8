#pragma once
// Interim versions of the main window, the installation dialog and the
// uninstallation, until the real ones exist.

#include <windows.h>

// Creates the main window from its template and runs the message loop until it
// is closed. Returns the loop's exit code (0 when the window cannot be made).
int RunMainWindow(int showCmd);

// The installation dialog in its own loop. OK records the launcher's folder as
// the installation folder; either button ends the loop.
int RunInstallationDialog(int showCmd);

void RunUninstall();
