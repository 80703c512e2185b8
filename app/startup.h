#pragma once
#include <windows.h>

// The whole life of the launcher process: command-line modes, or the normal
// start-up with its message loop. Returns the process exit code.
int RunLauncher(const wchar_t* commandLine, int showCmd);
