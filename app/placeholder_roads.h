#pragma once
// Interim versions of the installation dialog and the uninstallation, until the real ones exist.

#include <windows.h>

// The installation dialog in its own loop. OK records the launcher's folder as
// the installation folder; either button ends the loop.
int RunInstallationDialog(int showCmd);

void RunUninstall();
