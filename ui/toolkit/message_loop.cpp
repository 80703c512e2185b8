#include "ui/toolkit/message_loop.h"

#include <algorithm>

namespace {

const UINT kSystemTimerMessage = 0x0118;

template <typename T>
void RemoveFrom(std::vector<T*>& list, T* item)
{
    list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

} // namespace

void CMessageLoop::AddMessageFilter(CMessageFilter* filter)
{
    filters_.push_back(filter);
}

void CMessageLoop::RemoveMessageFilter(CMessageFilter* filter)
{
    RemoveFrom(filters_, filter);
}

void CMessageLoop::AddIdleHandler(CIdleHandler* handler)
{
    idleHandlers_.push_back(handler);
}

void CMessageLoop::RemoveIdleHandler(CIdleHandler* handler)
{
    RemoveFrom(idleHandlers_, handler);
}

int CMessageLoop::Run()
{
    MSG msg = {};
    bool doIdle = true;
    for (;;) {
        while (doIdle && !::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!OnIdle())
                doIdle = false;
        }
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1)
            continue;
        if (!got)
            break;
        if (!PreTranslateMessage(&msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (IsIdleMessage(msg))
            doIdle = true;
    }
    return static_cast<int>(msg.wParam);
}

BOOL CMessageLoop::PreTranslateMessage(MSG* msg)
{
    // Newest filter first, as a dialog opened later sits on top.
    for (auto it = filters_.rbegin(); it != filters_.rend(); ++it) {
        if ((*it)->PreTranslateMessage(msg))
            return TRUE;
    }
    return FALSE;
}

BOOL CMessageLoop::OnIdle()
{
    // Handlers may add or remove handlers, themselves included, while they
    // run: walk a copy, and skip those removed meanwhile.
    const std::vector<CIdleHandler*> snapshot = idleHandlers_;
    BOOL moreWork = !snapshot.empty();
    for (CIdleHandler* handler : snapshot) {
        if (std::find(idleHandlers_.begin(), idleHandlers_.end(), handler) == idleHandlers_.end())
            continue;
        if (!handler->OnIdle())
            moreWork = FALSE;
    }
    return moreWork;
}

bool CMessageLoop::IsIdleMessage(const MSG& msg)
{
    switch (msg.message) {
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
    case WM_PAINT:
    case kSystemTimerMessage:
        return false;
    default:
        return true;
    }
}
