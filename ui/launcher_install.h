#pragma once
// The installation steps behind the installation dialog's OK.

#include <string>

#include "ui/shortcuts.h"

struct InstallChoice {
    std::wstring folder;   // as typed; made full, without trailing separator
    ShortcutChoice shortcuts;
};

// The installed launcher and the switch tail it is to be started with.
struct InstalledLauncher {
    std::wstring path;
    std::wstring tail;   // empty: no command line
};

// Creates the folder, copies the running launcher into it (unless it runs
// from there), records the installation and the UI language, stores the
// default graphics settings, and makes the shortcuts and the uninstall entry.
// Throws setup_exception (win_exception) when the folder cannot be created or
// the copy fails; what was done before stays.
InstalledLauncher InstallLauncher(const InstallChoice& choice);

// Starts the installed launcher. Call it once the installation dialog is
// gone: a launcher installed where it runs would otherwise take the dialog
// for a running launcher of its own and give way to it.
void StartInstalledLauncher(const InstalledLauncher& launcher);
