#include "ui/toolkit/ax_site.h"

CAxSite::CAxSite(HWND host) : host_(host) {}

HRESULT CAxSite::CreateControl(REFCLSID clsid)
{
    HRESULT hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, control_.ReceiveVoid());
    if (FAILED(hr))
        return hr;
    hr = control_->SetClientSite(this);
    if (SUCCEEDED(hr)) {
        RECT area;
        ::GetClientRect(host_, &area);
        hr = control_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, host_, &area);
    }
    if (FAILED(hr)) {
        Destroy();
        return hr;
    }
    control_->QueryInterface(IID_IOleInPlaceObject, inPlace_.ReceiveVoid());
    return S_OK;
}

void CAxSite::Resize()
{
    if (!inPlace_)
        return;
    RECT area;
    ::GetClientRect(host_, &area);
    inPlace_->SetObjectRects(&area, &area);
}

void CAxSite::Destroy()
{
    if (inPlace_)
        inPlace_->InPlaceDeactivate();
    inPlace_.Reset();
    if (control_) {
        control_->Close(OLECLOSE_NOSAVE);
        control_->SetClientSite(nullptr);
    }
    control_.Reset();
}

HRESULT CAxSite::QueryControl(REFIID iid, void** out)
{
    *out = nullptr;
    return control_ ? control_->QueryInterface(iid, out) : E_FAIL;
}

STDMETHODIMP CAxSite::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IOleClientSite)
        *out = static_cast<IOleClientSite*>(this);
    else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite)
        *out = static_cast<IOleInPlaceSite*>(this);
    else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame)
        *out = static_cast<IOleInPlaceFrame*>(this);
    else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CAxSite::AddRef()
{
    return ++references_;
}

STDMETHODIMP_(ULONG) CAxSite::Release()
{
    ULONG left = --references_;
    if (left == 0)
        delete this;
    return left;
}

STDMETHODIMP CAxSite::SaveObject()
{
    return E_NOTIMPL;
}

STDMETHODIMP CAxSite::GetMoniker(DWORD, DWORD, IMoniker** moniker)
{
    *moniker = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CAxSite::GetContainer(IOleContainer** container)
{
    *container = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CAxSite::ShowObject()
{
    return S_OK;
}

STDMETHODIMP CAxSite::OnShowWindow(BOOL)
{
    return S_OK;
}

STDMETHODIMP CAxSite::RequestNewObjectLayout()
{
    return E_NOTIMPL;
}

STDMETHODIMP CAxSite::GetWindow(HWND* window)
{
    *window = host_;
    return S_OK;
}

STDMETHODIMP CAxSite::ContextSensitiveHelp(BOOL)
{
    return E_NOTIMPL;
}

STDMETHODIMP CAxSite::CanInPlaceActivate()
{
    return S_OK;
}

STDMETHODIMP CAxSite::OnInPlaceActivate()
{
    return S_OK;
}

STDMETHODIMP CAxSite::OnUIActivate()
{
    return S_OK;
}

STDMETHODIMP CAxSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                       LPRECT clip, LPOLEINPLACEFRAMEINFO frameInfo)
{
    *frame = this;
    AddRef();
    *document = nullptr;
    ::GetClientRect(host_, position);
    ::GetClientRect(host_, clip);
    frameInfo->fMDIApp = FALSE;
    frameInfo->hwndFrame = ::GetAncestor(host_, GA_ROOT);
    frameInfo->haccel = nullptr;
    frameInfo->cAccelEntries = 0;
    return S_OK;
}

STDMETHODIMP CAxSite::Scroll(SIZE)
{
    return E_NOTIMPL;
}

STDMETHODIMP CAxSite::OnUIDeactivate(BOOL)
{
    return S_OK;
}

STDMETHODIMP CAxSite::OnInPlaceDeactivate()
{
    return S_OK;
}

STDMETHODIMP CAxSite::DiscardUndoState()
{
    return E_NOTIMPL;
}

STDMETHODIMP CAxSite::DeactivateAndUndo()
{
    return E_NOTIMPL;
}

STDMETHODIMP CAxSite::OnPosRectChange(LPCRECT position)
{
    if (inPlace_)
        inPlace_->SetObjectRects(position, position);
    return S_OK;
}

STDMETHODIMP CAxSite::GetBorder(LPRECT)
{
    return INPLACE_E_NOTOOLSPACE;
}

STDMETHODIMP CAxSite::RequestBorderSpace(LPCBORDERWIDTHS)
{
    return INPLACE_E_NOTOOLSPACE;
}

STDMETHODIMP CAxSite::SetBorderSpace(LPCBORDERWIDTHS)
{
    return OLE_E_INVALIDRECT;
}

STDMETHODIMP CAxSite::SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR)
{
    return S_OK;
}

STDMETHODIMP CAxSite::InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS)
{
    return E_NOTIMPL;
}

STDMETHODIMP CAxSite::SetMenu(HMENU, HOLEMENU, HWND)
{
    return S_OK;
}

STDMETHODIMP CAxSite::RemoveMenus(HMENU)
{
    return E_NOTIMPL;
}

STDMETHODIMP CAxSite::SetStatusText(LPCOLESTR)
{
    return S_OK;
}

STDMETHODIMP CAxSite::EnableModeless(BOOL)
{
    return S_OK;
}

STDMETHODIMP CAxSite::TranslateAccelerator(LPMSG, WORD)
{
    return S_FALSE;
}
