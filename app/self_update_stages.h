#pragma once
// The launcher replaces its own executable through a chain of processes:
// the old launcher starts "<name>.copy.exe -copytooriginalnameandrestart"
// and closes; the copy overwrites the launcher file and starts it with
// "-deletecopyexe"; the new launcher deletes the copy and starts normally.

#include <string>

extern const wchar_t kCopySuffix[];

// Second stage, in the copy. Ends the chain silently when the launcher file
// stays locked for too long.
void RunCopyToOriginalAndRestart();

// Third stage, in the new launcher: deletes the copy and notes the update.
void RunDeleteCopyExe();

// After an installation from a downloaded file: deletes that file.
void DeleteDownloadedExe(const std::wstring& path);

// Set by the third stage; the update run logs it and skips its start reports.
bool LauncherWasUpdated();

// Set while the launcher closes itself for a self-update.
bool IsSelfUpdateClosing();
void SetSelfUpdateClosing();
