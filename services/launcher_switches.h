#pragma once
// The command-line switches the launcher's own processes pass to each other
// (and the uninstall entry passes to the launcher).

extern const wchar_t kSwitchDeleteDownloadedExe[];
extern const wchar_t kSwitchCopyToOriginalAndRestart[];
extern const wchar_t kSwitchDeleteCopyExe[];
extern const wchar_t kSwitchUninstall[];
extern const wchar_t kSwitchDeleteFile[];
extern const wchar_t kSwitchPid[];
