#pragma once
// Interim version of the main window, until the real one exists.

#include <windows.h>

// Creates the main window from its template and runs the message loop until it
// is closed. Returns the loop's exit code (0 when the window cannot be made).
int RunMainWindow(int showCmd);
