#pragma once
// The installed launcher's road: the main window in the thread's message
// loop, until the window is destroyed.

// Returns the loop's exit code (0 when the window cannot be made).
int RunMainWindow(int showCmd);
