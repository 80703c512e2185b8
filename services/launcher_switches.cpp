#include "services/launcher_switches.h"

const wchar_t kSwitchDeleteDownloadedExe[] = L"-deletedownloadedexe:";
const wchar_t kSwitchCopyToOriginalAndRestart[] = L"-copytooriginalnameandrestart";
const wchar_t kSwitchDeleteCopyExe[] = L"-deletecopyexe";
const wchar_t kSwitchUninstall[] = L"/uninstall";
const wchar_t kSwitchDeleteFile[] = L"-deletefile:";
const wchar_t kSwitchPid[] = L"-pid:";
