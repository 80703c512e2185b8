#pragma once
// After uninstallation the launcher's own file is deleted by a copy of the
// launcher in the temporary folder, once the uninstalling process has ended.

#include <string>

// Runs in that copy: `argument` is the tail after "-deletefile:", that is
// "\"<path>\" -pid:<id>".
void RunDeleteFileCleanup(const std::wstring& argument);

// Starts that copy for the running executable; the caller then ends.
void HandOverToCleanup();
