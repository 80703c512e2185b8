#pragma once
// The launcher's shortcuts: Desktop, Quick Launch, and the Start Menu folder
// "Programs\<maker>\<product>" with the program, the screenshots folder and
// the web links. Failures are ignored: a missing shortcut never stops an
// installation or an uninstallation.

#include <string>

struct ShortcutChoice {
    bool desktop = true;
    bool quickLaunch = true;
    bool startMenu = true;
};

// Creates the chosen shortcuts to the launcher at `launcherPath`; the
// screenshots shortcut points at "Screenshots" in `installFolder`, created
// when missing. Needs COM on the calling thread.
void CreateShortcuts(const ShortcutChoice& choice, const std::wstring& launcherPath,
                     const std::wstring& installFolder);

// Deletes every shortcut the installation may have made, then the Start Menu
// folders when they are empty.
void RemoveShortcuts();
