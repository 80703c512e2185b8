#pragma once
// Dialogs built from their template in the current UI language (neutral
// language as fallback), modal or modeless. The derived class T names its
// template with `enum { IDD = ... }` and handles messages in
//   bool ProcessWindowMessage(HWND, UINT, WPARAM, LPARAM, LRESULT& result);
// returning true for the messages it handled.

#include <windows.h>

#include "services/string_table.h"
#include "ui/toolkit/ax_host.h"

template <class T>
class CLangDialogImpl {
public:
    HWND m_hWnd = nullptr;

    CLangDialogImpl() = default;
    virtual ~CLangDialogImpl() = default;
    CLangDialogImpl(const CLangDialogImpl&) = delete;
    CLangDialogImpl& operator=(const CLangDialogImpl&) = delete;

    INT_PTR DoModal(HWND parent = ::GetActiveWindow(), LPARAM initParam = 0)
    {
        LangResource tmpl = FindLangResource(RT_DIALOG, T::IDD);
        if (!tmpl)
            return -1;
        modal_ = true;
        initParam_ = initParam;
        return ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr),
                                         static_cast<LPCDLGTEMPLATEW>(tmpl.data), parent, StartDialogProc,
                                         reinterpret_cast<LPARAM>(this));
    }

    HWND Create(HWND parent, LPARAM initParam = 0)
    {
        LangResource tmpl = FindLangResource(RT_DIALOG, T::IDD);
        if (!tmpl)
            return nullptr;
        modal_ = false;
        initParam_ = initParam;
        return ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr),
                                            static_cast<LPCDLGTEMPLATEW>(tmpl.data), parent, StartDialogProc,
                                            reinterpret_cast<LPARAM>(this));
    }

    BOOL EndDialog(INT_PTR result) { return ::EndDialog(m_hWnd, result); }
    BOOL DestroyWindow() { return ::DestroyWindow(m_hWnd); }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    bool IsModal() const { return modal_; }
    LPARAM InitParam() const { return initParam_; }

    // Centres the dialog over its owner (or the screen when it has none).
    void CenterWindow()
    {
        RECT dialog;
        ::GetWindowRect(m_hWnd, &dialog);
        RECT area;
        HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
        if (!owner || !::GetWindowRect(owner, &area))
            ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        int width = dialog.right - dialog.left;
        int height = dialog.bottom - dialog.top;
        int x = area.left + ((area.right - area.left) - width) / 2;
        int y = area.top + ((area.bottom - area.top) - height) / 2;
        ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

protected:
    // Called after the window is gone.
    virtual void OnFinalMessage(HWND) {}

private:
    static INT_PTR CALLBACK StartDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        CLangDialogImpl* self = nullptr;
        if (message == WM_INITDIALOG) {
            self = reinterpret_cast<CLangDialogImpl*>(lParam);
            self->m_hWnd = hwnd;
            ::SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
            lParam = self->initParam_;
        } else {
            self = reinterpret_cast<CLangDialogImpl*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
        }
        if (!self)
            return FALSE;

        LRESULT result = 0;
        bool handled = static_cast<T*>(self)->ProcessWindowMessage(hwnd, message, wParam, lParam, result);
        if (message == WM_NCDESTROY) {
            ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
            self->m_hWnd = nullptr;
            self->OnFinalMessage(hwnd);
        }
        if (!handled)
            return FALSE;
        switch (message) {
        // These return their result directly rather than through DWLP_MSGRESULT.
        case WM_INITDIALOG:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_QUERYDRAGICON:
            return static_cast<INT_PTR>(result);
        default:
            ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
            return TRUE;
        }
    }

    bool modal_ = false;
    LPARAM initParam_ = 0;
};

// Dialogs that host ActiveX controls: the host window class that their
// templates name is registered before the dialog is created.
template <class T>
class CAxLangDialogImpl : public CLangDialogImpl<T> {
public:
    HWND Create(HWND parent, LPARAM initParam = 0)
    {
        AxHostInit();
        return CLangDialogImpl<T>::Create(parent, initParam);
    }
};
