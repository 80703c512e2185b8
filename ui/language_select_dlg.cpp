#include "ui/language_select_dlg.h"

bool CLanguageDlg::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM, LRESULT& result)
{
    switch (message) {
    case WM_INITDIALOG:
        CenterWindow();
        // One language only: nothing to choose, so the dialog confirms itself.
        selectedIndex_ = 0;
        EndDialog(IDOK);
        result = TRUE;
        return true;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            LRESULT selection = ::SendDlgItemMessageW(m_hWnd, IDC_LANGUAGE_LIST, CB_GETCURSEL, 0, 0);
            if (selection != CB_ERR)
                selectedIndex_ = static_cast<int>(selection);
            EndDialog(IDOK);
            return true;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(IDCANCEL);
            return true;
        }
        return false;
    default:
        return false;
    }
}
