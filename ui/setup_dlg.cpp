#include "ui/setup_dlg.h"

#include <shlobj.h>
#include <shlwapi.h>

#include "services/string_ids.h"
#include "services/string_table.h"
#include "support/win_handles.h"
#include "ui/launcher_install.h"
#include "ui/setup_exception.h"
#include "ui/sound_library_check.h"

namespace {

// Posted from WM_INITDIALOG: the sound check's message comes once the dialog
// shows, so the player sees what it belongs to.
const UINT kCheckSound = WM_APP + 1;
const int kMaxAncestorLevels = 100;
const UINT kByteSizeChars = 128;

// Quick Launch went away after Windows Vista (6.0).
bool HasQuickLaunch()
{
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!::GetVersionExW(&version))
        return true;
    return !(version.dwMajorVersion > 5 && version.dwMinorVersion != 0);
}

void SetIcons(HWND dialog)
{
    HINSTANCE module = ::GetModuleHandleW(nullptr);
    const struct {
        WPARAM kind;
        int widthMetric;
        int heightMetric;
    } sizes[] = {{ICON_BIG, SM_CXICON, SM_CYICON}, {ICON_SMALL, SM_CXSMICON, SM_CYSMICON}};
    for (const auto& size : sizes) {
        // Shared icons stay with the system; nothing to destroy.
        HANDLE icon = ::LoadImageW(module, MAKEINTRESOURCEW(IDI_LAUNCHER), IMAGE_ICON,
                                   ::GetSystemMetrics(size.widthMetric), ::GetSystemMetrics(size.heightMetric),
                                   LR_SHARED);
        ::SendMessageW(dialog, WM_SETICON, size.kind, reinterpret_cast<LPARAM>(icon));
    }
}

// Free bytes available to the user on the nearest existing folder of the
// path; 0 without a drive letter or share, or when the query fails.
ULONGLONG AvailableBytes(const wchar_t* typed)
{
    wchar_t path[MAX_PATH];
    lstrcpynW(path, typed, MAX_PATH);
    if (::PathGetDriveNumberW(path) < 0 && !::PathIsUNCW(path))
        return 0;
    for (int level = 0; level < kMaxAncestorLevels && !::PathFileExistsW(path); ++level) {
        if (!::PathRemoveFileSpecW(path))
            break;
    }
    ULARGE_INTEGER available = {};
    if (!::GetDiskFreeSpaceExW(path, &available, nullptr, nullptr))
        return 0;
    return available.QuadPart;
}

void SetByteSizeText(HWND dialog, int id, ULONGLONG bytes)
{
    wchar_t text[kByteSizeChars] = {};
    ::StrFormatByteSizeW(static_cast<LONGLONG>(bytes), text, kByteSizeChars);
    ::SetDlgItemTextW(dialog, id, text);
}

} // namespace

BOOL CSetupDlg::PreTranslateMessage(MSG* msg)
{
    return ::IsDialogMessageW(m_hWnd, msg);
}

bool CSetupDlg::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM, LRESULT& result)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog();
        result = TRUE;
        return true;
    case kCheckSound:
        CheckSoundLibrary(m_hWnd);
        return true;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            OnInstall();
            return true;
        case IDCANCEL:
            Finish(IDCANCEL);
            return true;
        case IDC_BROWSE:
            OnBrowse();
            return true;
        case IDC_INSTALL_FOLDER:
            if (HIWORD(wParam) != EN_CHANGE)
                return false;
            ShowDiskSpace();
            return true;
        default:
            return false;
        }
    case WM_DESTROY:
        ::PostQuitMessage(exitCode_);
        return true;
    default:
        return false;
    }
}

void CSetupDlg::OnInitDialog()
{
    SetIcons(m_hWnd);
    for (int id : {IDC_SHORTCUT_START_MENU, IDC_SHORTCUT_DESKTOP, IDC_SHORTCUT_QUICK_LAUNCH})
        ::CheckDlgButton(m_hWnd, id, BST_CHECKED);
    if (!HasQuickLaunch()) {
        ::CheckDlgButton(m_hWnd, IDC_SHORTCUT_QUICK_LAUNCH, BST_UNCHECKED);
        ::ShowWindow(GetDlgItem(IDC_SHORTCUT_QUICK_LAUNCH), SW_HIDE);
    }

    wchar_t folder[MAX_PATH] = {};
    if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder)) &&
        ::PathAppendW(folder, LoadLangString(IDS_MAKER_FOLDER)) && ::PathAppendW(folder, LoadLangString(IDS_PRODUCT_KEY)))
        ::SetDlgItemTextW(m_hWnd, IDC_INSTALL_FOLDER, folder);
    ::PostMessageW(m_hWnd, kCheckSound, 0, 0);
}

void CSetupDlg::OnBrowse()
{
    UniqueItemIdList computer;
    if (FAILED(::SHGetFolderLocation(m_hWnd, CSIDL_DRIVES, nullptr, 0, computer.Receive())))
        return;
    std::wstring title = LangText(IDS_BROWSE_FOLDER_PROMPT);
    BROWSEINFOW info = {};
    info.hwndOwner = m_hWnd;
    info.pidlRoot = computer.Get();
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
    UniqueItemIdList chosen(::SHBrowseForFolderW(&info));
    wchar_t folder[MAX_PATH];
    if (!chosen || !::SHGetPathFromIDListW(chosen.Get(), folder) ||
        !::PathAppendW(folder, LoadLangString(IDS_PRODUCT_KEY)))
        return;
    ::SetDlgItemTextW(m_hWnd, IDC_INSTALL_FOLDER, folder);
}

void CSetupDlg::OnInstall()
{
    InstallChoice choice;
    wchar_t folder[MAX_PATH] = {};
    ::GetDlgItemTextW(m_hWnd, IDC_INSTALL_FOLDER, folder, MAX_PATH);
    choice.folder = folder;
    choice.shortcuts.startMenu = IsChecked(IDC_SHORTCUT_START_MENU);
    choice.shortcuts.desktop = IsChecked(IDC_SHORTCUT_DESKTOP);
    choice.shortcuts.quickLaunch = IsChecked(IDC_SHORTCUT_QUICK_LAUNCH);
    InstalledLauncher launcher;
    try {
        launcher = InstallLauncher(choice);
    } catch (const setup_exception& failure) {
        ::MessageBoxW(m_hWnd, failure.message().c_str(), LangText(IDS_PRODUCT_NAME).c_str(), MB_OK | MB_ICONERROR);
        return;
    }
    Finish(IDOK);
    StartInstalledLauncher(launcher);
}

void CSetupDlg::ShowDiskSpace()
{
    wchar_t folder[MAX_PATH] = {};
    ::GetDlgItemTextW(m_hWnd, IDC_INSTALL_FOLDER, folder, MAX_PATH);
    // The launcher installs only itself; the game arrives with the updates.
    SetByteSizeText(m_hWnd, IDC_SPACE_NEEDED, 0);
    SetByteSizeText(m_hWnd, IDC_SPACE_AVAILABLE, AvailableBytes(folder));
}

bool CSetupDlg::IsChecked(int id) const
{
    return ::IsDlgButtonChecked(m_hWnd, id) == BST_CHECKED;
}

void CSetupDlg::Finish(int exitCode)
{
    exitCode_ = exitCode;
    DestroyWindow();
}
