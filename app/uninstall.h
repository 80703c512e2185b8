#pragma once

// "/uninstall": after the player confirms, removes the settings, the
// uninstall entry, the shortcuts and the launcher folder's contents, then
// leaves the launcher's own file to the clean-up run.
void RunUninstall();
