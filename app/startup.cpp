#include "app/startup.h"

#include <commctrl.h>
#include <objbase.h>
#include <ctime>

#include "app/command_line.h"
#include "app/instance_lock.h"
#include "app/launcher_app.h"
#include "app/main_window_run.h"
#include "app/modeless_run.h"
#include "app/self_update_stages.h"
#include "app/single_instance.h"
#include "app/uninstall.h"
#include "app/uninstall_cleanup.h"
#include "services/install_state.h"
#include "services/registry_keys.h"
#include "services/settings_store.h"
#include "services/string_table.h"
#include "support/module_path.h"
#include "support/random.h"
#include "telemetry/compatibility_check.h"
#include "ui/language_select_dlg.h"
#include "ui/setup_dlg.h"
#include "ui/stored_language.h"
#include "ui/toolkit/ax_host.h"

namespace {

const DWORD kCommonControlClasses = ICC_BAR_CLASSES | ICC_TAB_CLASSES;

int RunInstalled(int showCmd)
{
    g_app.SetUiLanguage(ReadStoredLanguage());
    if (ActivateRunningInstance())
        return 0;
    return RunMainWindow(showCmd);
}

int RunFirstStart(int showCmd)
{
    CLanguageDlg languageDialog;
    if (languageDialog.DoModal(::GetActiveWindow()) != IDOK)
        return 0;
    g_app.SetUiLanguage(LanguageIdAt(languageDialog.SelectedIndex()));
    if (!CheckCompatibility())
        return 0;
    return RunModelessDialog<CSetupDlg>(showCmd);
}

int RunNormalStartup(int showCmd)
{
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INITCOMMONCONTROLSEX controls = {sizeof(controls), kCommonControlClasses};
    ::InitCommonControlsEx(&controls);
    AxHostInit();

    g_settings.Open(SettingsKeyPath());
    ::SetCurrentDirectoryW(ModuleFolder().c_str());

    // Held until the process ends: a second launcher of this executable
    // started meanwhile gives way, whichever road this one takes.
    CInstanceLock lock;
    int exitCode = 0;
    if (BecomeTheOnlyInstance(lock))
        exitCode = IsInstalledHere() ? RunInstalled(showCmd) : RunFirstStart(showCmd);

    g_app.Term();
    ::CoUninitialize();
    return exitCode;
}

} // namespace

int RunLauncher(const wchar_t* commandLine, int showCmd)
{
    SeedRandom(static_cast<uint32_t>(std::time(nullptr)));

    StartRequest request = ParseStartRequest(CommandTail(commandLine));
    switch (request.mode) {
    case StartMode::DeleteDownloadedExe:
        DeleteDownloadedExe(request.argument);
        break;
    case StartMode::CopyToOriginalAndRestart:
        RunCopyToOriginalAndRestart();
        return 0;
    case StartMode::DeleteCopyExe:
        RunDeleteCopyExe();
        break;
    case StartMode::Uninstall:
        RunUninstall();
        return 0;
    case StartMode::DeleteFile:
        RunDeleteFileCleanup(request.argument);
        return 0;
    case StartMode::Normal:
        break;
    }
    return RunNormalStartup(showCmd);
}
