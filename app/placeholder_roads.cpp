#include "app/placeholder_roads.h"

#include "app/install_state.h"
#include "app/launcher_app.h"
#include "support/module_path.h"
#include "ui/localized_dialog.h"
#include "ui/resources/resource.h"
#include "ui/toolkit/message_loop.h"

namespace {

// A modeless dialog that ends the thread's message loop when it closes.
template <class T>
class CModelessDialog : public CLangDialogImpl<T>, public CMessageFilter {
public:
    BOOL PreTranslateMessage(MSG* msg) override { return ::IsDialogMessageW(this->m_hWnd, msg); }

    bool ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM, LRESULT& result)
    {
        switch (message) {
        case WM_INITDIALOG:
            result = TRUE;
            return true;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                static_cast<T*>(this)->OnButton(LOWORD(wParam));
                this->DestroyWindow();
                return true;
            }
            return false;
        case WM_CLOSE:
            this->DestroyWindow();
            return true;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return true;
        default:
            return false;
        }
    }
};

class CSetupPlaceholder : public CModelessDialog<CSetupPlaceholder> {
public:
    enum { IDD = IDD_SETUP };
    void OnButton(WORD id)
    {
        if (id == IDOK)
            SetInstallPath(ModuleFolder());
    }
};

template <class Dialog>
int RunModelessDialog(int showCmd)
{
    CMessageLoop loop;
    g_app.AddMessageLoop(&loop);
    Dialog dialog;
    int exitCode = 0;
    if (dialog.Create(nullptr)) {
        loop.AddMessageFilter(&dialog);
        ::ShowWindow(dialog.m_hWnd, showCmd);
        exitCode = loop.Run();
        loop.RemoveMessageFilter(&dialog);
    }
    g_app.RemoveMessageLoop();
    return exitCode;
}

} // namespace

int RunInstallationDialog(int showCmd)
{
    return RunModelessDialog<CSetupPlaceholder>(showCmd);
}

void RunUninstall() {}
