#include "ui/launcher_window.h"

#include <commctrl.h>
#include <exdisp.h>
#include <shlwapi.h>
#include <wininet.h>

#include "services/machine_id.h"
#include "services/string_ids.h"
#include "services/string_table.h"
#include "support/win_handles.h"
#include "support/module_path.h"
#include "ui/launcher_page.h"
#include "ui/options_dlg.h"
#include "ui/progress_shift.h"
#include "ui/refusal_poll_dlg.h"
#include "ui/toolkit/ax_host.h"
#include "update/file_updater.h"
#include "update/launcher_handover.h"

namespace {

const UINT_PTR kJobTimer = 1;
const UINT kJobTickMs = 100;
const double kJobTickSeconds = 0.1;
const int kLogLimitChars = 1048576;
const size_t kMaxSpeedSuffixChars = 31;
const size_t kMaxTitleChars = 254;
const size_t kMaxLocalPageChars = 259;
// A call from another thread, carried as a pointer to a std::function.
const UINT kCallOnWindowThread = WM_APP + 1;

const wchar_t kLogCollapsed[] = L"\x02C5";
const wchar_t kLogExpanded[] = L"\x02C4";

std::wstring Text(UINT entry)
{
    return entry ? std::wstring(LoadLangString(entry)) : std::wstring();
}

std::wstring ByteSize(DWORD bytes, UINT chars)
{
    std::wstring text(chars, L'\0');
    ::StrFormatByteSizeW(bytes, &text[0], chars);
    text.resize(wcslen(text.c_str()));
    return text;
}

std::wstring WindowText(HWND window)
{
    std::wstring text(::GetWindowTextLengthW(window) + 1, L'\0');
    text.resize(::GetWindowTextW(window, &text[0], static_cast<int>(text.size())));
    return text;
}

HICON LoadIconSized(int widthMetric, int heightMetric)
{
    return static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_LAUNCHER), IMAGE_ICON,
                                           ::GetSystemMetrics(widthMetric), ::GetSystemMetrics(heightMetric),
                                           LR_DEFAULTCOLOR));
}

RECT ScreenRect(HWND window)
{
    RECT rect;
    ::GetWindowRect(window, &rect);
    return rect;
}

// BSTR owner for the browser's calls.
class Bstr {
public:
    explicit Bstr(const std::wstring& text) : value_(::SysAllocString(text.c_str())) {}
    ~Bstr() { ::SysFreeString(value_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR Get() const { return value_; }

private:
    BSTR value_;
};

} // namespace

CLauncherWindow::CLauncherWindow(CMessageLoop& loop, CReportClient& reports, ILauncherHandover& handover,
                                 bool launcherWasUpdated)
    : loop_(loop), reports_(reports), handover_(handover), launcherWasUpdated_(launcherWasUpdated)
{
}

// The job goes first: its worker may still call this window until it ends.
CLauncherWindow::~CLauncherWindow()
{
    job_.reset();
}

BOOL CLauncherWindow::PreTranslateMessage(MSG* msg)
{
    return m_hWnd && ::IsDialogMessageW(m_hWnd, msg);
}

BOOL CLauncherWindow::OnIdle()
{
    return FALSE;
}

bool CLauncherWindow::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog();
        result = TRUE;
        return true;
    case WM_TIMER:
        // The job may close the window from its tick.
        if (wParam == kJobTimer && job_)
            job_->OnTimer(kJobTickSeconds);
        return true;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_START_GAME:
            if (job_)
                job_->LaunchGame();
            return true;
        case IDC_OPTIONS:
            if (HIWORD(wParam) != BN_CLICKED)
                return false;
            COptionsDlg(this).DoModal(::GetActiveWindow());
            return true;
        case IDC_LOG_TOGGLE:
            ToggleLog();
            return true;
        case IDC_LOG:
            if (HIWORD(wParam) != EN_MAXTEXT)
                return false;
            // A full log starts again empty.
            ::SetWindowTextW(log_, L"");
            return true;
        default:
            return false;
        }
    case WM_CLOSE:
        OnCloseRequest();
        return true;
    case WM_DESTROY:
        ::KillTimer(m_hWnd, kJobTimer);
        loop_.RemoveMessageFilter(this);
        loop_.RemoveIdleHandler(this);
        ::PostQuitMessage(0);
        return true;
    case kCallOnWindowThread:
        (*reinterpret_cast<const std::function<void()>*>(lParam))();
        return true;
    default:
        return false;
    }
}

void CLauncherWindow::OnInitDialog()
{
    windowThread_ = ::GetCurrentThreadId();
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(LoadIconSized(SM_CXICON, SM_CYICON)));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL,
                   reinterpret_cast<LPARAM>(LoadIconSized(SM_CXSMICON, SM_CYSMICON)));
    loop_.AddMessageFilter(this);
    loop_.AddIdleHandler(this);

    fileBar_ = GetDlgItem(IDC_FILE_PROGRESS);
    totalBar_ = GetDlgItem(IDC_TOTAL_PROGRESS);
    status_ = GetDlgItem(IDC_STATUS);
    countLine_ = GetDlgItem(IDC_COUNT_LINE);
    speed_ = GetDlgItem(IDC_SPEED);
    autoStart_ = GetDlgItem(IDC_AUTO_START);
    startGame_ = GetDlgItem(IDC_START_GAME);
    logToggle_ = GetDlgItem(IDC_LOG_TOGGLE);
    log_ = GetDlgItem(IDC_LOG);

    ::SendMessageW(log_, EM_FMTLINES, FALSE, 0);
    ::SendMessageW(log_, EM_LIMITTEXT, kLogLimitChars, 0);
    ::ShowWindow(log_, SW_HIDE);

    const RECT window = ScreenRect(m_hWnd);
    expandedHeight_ = window.bottom - window.top;
    const RECT toggle = ScreenRect(logToggle_);
    const int collapsedBottom = toggle.bottom + (toggle.bottom - toggle.top) / 2;
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, window.right - window.left, collapsedBottom - window.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    speedSuffix_ = WindowText(speed_).substr(0, kMaxSpeedSuffixChars);
    ::ShowWindow(speed_, SW_HIDE);

    SetProcess(new CFileUpdater(this, &reports_, &handover_, launcherWasUpdated_));
    NavigatePage();
    ::SetTimer(m_hWnd, kJobTimer, kJobTickMs, nullptr);
    CreateToggleTooltip();
}

// The page is loaded once, now. Without a browser the area stays empty.
void CLauncherWindow::NavigatePage()
{
    ComPtr<IWebBrowser> browser;
    if (FAILED(AxGetControl(GetDlgItem(IDC_BROWSER), IID_IWebBrowser, browser.ReceiveVoid())))
        return;
    DWORD connection = 0;
    std::wstring address;
    if (::InternetGetConnectedState(&connection, 0)) {
        address = LauncherPageAddress(LoadLangString(IDS_NEWS_URL), GetMachineId());
    } else {
        if (localPage_.empty()) {
            const std::wstring offlinePage = LoadLangString(IDS_OFFLINE_PAGE);
            localPage_ = offlinePage.size() > 1 ? ModuleFolder() + L"\\" + offlinePage
                                                : std::wstring(LoadLangString(IDS_NEWS_URL));
        }
        address = localPage_;
    }
    Bstr url(address);
    VARIANT empty;
    ::VariantInit(&empty);
    browser->Navigate(url.Get(), &empty, &empty, &empty, &empty);
}

void CLauncherWindow::CreateToggleTooltip()
{
    tooltip_ = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_BALLOON | TTS_ALWAYSTIP,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd, nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr);
    if (!tooltip_)
        return;
    tooltipText_ = LoadLangString(IDS_SHOW_CONNECTION_INFO);
    TOOLINFOW tool = {};
    // The size comctl32 5 accepts: the launcher's manifest asks for no later
    // version, and a larger size makes it refuse the tool.
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = m_hWnd;
    tool.uId = reinterpret_cast<UINT_PTR>(logToggle_);
    tool.lpszText = &tooltipText_[0];
    ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void CLauncherWindow::ToggleLog()
{
    RECT window = ScreenRect(m_hWnd);
    if (::IsWindowVisible(log_)) {
        ::ShowWindow(log_, SW_HIDE);
        const RECT toggle = ScreenRect(logToggle_);
        window.bottom = toggle.bottom + (toggle.bottom - toggle.top) / 2;
        ::SetWindowTextW(logToggle_, kLogCollapsed);
    } else {
        ::ShowWindow(log_, SW_SHOW);
        window.bottom = window.top + expandedHeight_;
        ::SetWindowTextW(logToggle_, kLogExpanded);
    }
    ::MoveWindow(m_hWnd, window.left, window.top, window.right - window.left, window.bottom - window.top, TRUE);
}

// A player who leaves before the game is ready is asked why; cancelling the
// question keeps the launcher open.
void CLauncherWindow::OnCloseRequest()
{
    if (!::IsWindowEnabled(startGame_) && !handover_.IsClosing()) {
        CRefusalPollDlg poll(reports_);
        if (poll.DoModal(m_hWnd) == IDCANCEL)
            return;
    }
    if (job_)
        job_->Stop();
    Close();
}

void CLauncherWindow::OnWindowThread(const std::function<void()>& call)
{
    HWND window = m_hWnd;
    if (::GetCurrentThreadId() == windowThread_)
        call();
    else if (window)
        ::SendMessageW(window, kCallOnWindowThread, 0, reinterpret_cast<LPARAM>(&call));
}

void CLauncherWindow::SetBar(HWND bar, DWORD range, DWORD position)
{
    ::SendMessageW(bar, PBM_SETRANGE32, 0, range);
    ::SendMessageW(bar, PBM_SETPOS, position, 0);
}

void CLauncherWindow::RewriteCountLine()
{
    const DWORD done = fileCount_ ? bytesDone_ : 0;
    const DWORD total = fileCount_ ? totalBytes_ : 0;
    std::wstring line = Text(countCaption_) + std::to_wstring(currentFile_) + Text(IDS_COUNT_FROM) +
                        std::to_wstring(fileCount_) + L" (" + ByteSize(done, 128) + L" / " + ByteSize(total, 128) +
                        L")";
    ::SetWindowTextW(countLine_, line.c_str());
}

void CLauncherWindow::AddLogText(const wchar_t* text)
{
    OnWindowThread([this, text] {
        const int end = ::GetWindowTextLengthW(log_);
        ::SendMessageW(log_, EM_SETSEL, end, end);
        ::SendMessageW(log_, EM_SCROLLCARET, 0, 0);
        ::SendMessageW(log_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    });
}

void CLauncherWindow::SetTotalProgress(DWORD bytesDone)
{
    OnWindowThread([this, bytesDone] {
        bytesDone_ = bytesDone;
        ::SendMessageW(totalBar_, PBM_SETPOS, bytesDone >> totalShift_, 0);
        RewriteCountLine();
    });
}

void CLauncherWindow::SetFileProgress(DWORD bytesDone)
{
    OnWindowThread([this, bytesDone] { ::SendMessageW(fileBar_, PBM_SETPOS, bytesDone >> fileShift_, 0); });
}

void CLauncherWindow::SetTotalSize(DWORD totalBytes, int fileCount)
{
    OnWindowThread([this, totalBytes, fileCount] {
        totalBytes_ = totalBytes;
        fileCount_ = fileCount;
        if (fileCount != 0) {
            totalShift_ = ProgressShift(totalBytes);
            ::SendMessageW(totalBar_, PBM_SETRANGE32, 0, totalBytes >> totalShift_);
        } else {
            SetBar(totalBar_, 1, 1);
        }
        RewriteCountLine();
    });
}

void CLauncherWindow::SetCurrentFile(DWORD fileSize, int fileIndex, const wchar_t* text)
{
    OnWindowThread([this, fileSize, fileIndex, text] {
        const bool finalPair = fileIndex == fileCount_ && fileSize == 0;
        if (fileIndex != -1 && !finalPair) {
            fileShift_ = ProgressShift(fileSize);
            ::SendMessageW(fileBar_, PBM_SETRANGE32, 0, fileSize >> fileShift_);
            ::SetWindowTextW(status_, (Text(fileCaption_) + text).c_str());
            currentFile_ = fileIndex;
        } else {
            if (fileIndex != -1)
                currentFile_ = fileIndex;
            ::SetWindowTextW(status_, text);
            fileShift_ = 0;
            ::SendMessageW(fileBar_, PBM_SETRANGE32, 0, fileSize ? fileSize : 1);
        }
        RewriteCountLine();
    });
}

void CLauncherWindow::OnProcessFinished()
{
    OnWindowThread([this] {
        if (::GetForegroundWindow() != m_hWnd) {
            FLASHWINFO flash = {sizeof(flash), m_hWnd, FLASHW_CAPTION, 1, 0};
            ::FlashWindowEx(&flash);
        }
        ::EnableWindow(startGame_, TRUE);
    });
}

bool CLauncherWindow::IsAutoStartChecked()
{
    return ::SendMessageW(autoStart_, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

HWND CLauncherWindow::GetWindowHandle()
{
    return m_hWnd;
}

void CLauncherWindow::Close()
{
    OnWindowThread([this] { DestroyWindow(); });
}

void CLauncherWindow::SetProcess(ILauncherProcess* process)
{
    std::unique_ptr<ILauncherProcess> old(job_.release());
    job_.reset(process);
    if (job_)
        job_->Start();
}

ILauncherProcess* CLauncherWindow::GetProcess()
{
    return job_.get();
}

void CLauncherWindow::SetFileCaption(UINT captionEntry)
{
    OnWindowThread([this, captionEntry] { fileCaption_ = captionEntry; });
}

void CLauncherWindow::SetCountCaption(UINT captionEntry)
{
    OnWindowThread([this, captionEntry] { countCaption_ = captionEntry; });
}

void CLauncherWindow::SetStageTitle(UINT titleEntry)
{
    OnWindowThread([this, titleEntry] {
        std::wstring title = Text(IDS_PRODUCT_NAME) + L". " + Text(titleEntry);
        ::SetWindowTextW(m_hWnd, title.substr(0, kMaxTitleChars).c_str());
    });
}

void CLauncherWindow::SetLocalPage(const wchar_t* path)
{
    OnWindowThread([this, path] { localPage_ = std::wstring(path).substr(0, kMaxLocalPageChars); });
}

void CLauncherWindow::SetSpeed(DWORD bytesPerSecond)
{
    OnWindowThread([this, bytesPerSecond] {
        if (bytesPerSecond == kHideSpeed) {
            ::ShowWindow(speed_, SW_HIDE);
            return;
        }
        if (!::IsWindowVisible(speed_))
            ::ShowWindow(speed_, SW_SHOW);
        ::SetWindowTextW(speed_, (ByteSize(bytesPerSecond, 64) + speedSuffix_).c_str());
    });
}
