#include "ui/toolkit/ax_host.h"

#include <ole2.h>

#include "ui/toolkit/ax_site.h"

namespace {

const wchar_t kAxHostClass[] = L"AtlAxWin";

CAxSite* SiteOf(HWND host)
{
    return reinterpret_cast<CAxSite*>(::GetWindowLongPtrW(host, GWLP_USERDATA));
}

LRESULT CALLBACK AxHostProc(HWND host, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: {
        const CREATESTRUCTW* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        CLSID clsid;
        if (!create->lpszName || FAILED(::CLSIDFromString(create->lpszName, &clsid)))
            return 0;
        CAxSite* site = new CAxSite(host);
        if (FAILED(site->CreateControl(clsid))) {
            site->Release();
            return 0;
        }
        ::SetWindowLongPtrW(host, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(site));
        return 0;
    }
    case WM_SIZE:
        if (CAxSite* site = SiteOf(host))
            site->Resize();
        return 0;
    case WM_DESTROY:
        if (CAxSite* site = SiteOf(host)) {
            ::SetWindowLongPtrW(host, GWLP_USERDATA, 0);
            site->Destroy();
            site->Release();
        }
        return 0;
    case WM_ERASEBKGND:
        // An active control paints the whole area itself.
        if (SiteOf(host))
            return TRUE;
        break;
    }
    return ::DefWindowProcW(host, message, wParam, lParam);
}

} // namespace

bool AxHostInit()
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = AxHostProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kAxHostClass;
    return ::RegisterClassExW(&windowClass) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HRESULT AxGetControl(HWND host, REFIID iid, void** out)
{
    *out = nullptr;
    CAxSite* site = host ? SiteOf(host) : nullptr;
    return site ? site->QueryControl(iid, out) : E_FAIL;
}
