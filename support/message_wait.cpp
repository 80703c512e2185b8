#include "support/message_wait.h"

DWORD WaitDeliveringSentMessages(HANDLE handle, DWORD ms)
{
    const DWORD started = ::GetTickCount();
    for (;;) {
        const DWORD elapsed = ::GetTickCount() - started;
        if (elapsed >= ms)
            return ::WaitForSingleObject(handle, 0);
        DWORD waited = ::MsgWaitForMultipleObjects(1, &handle, FALSE, ms - elapsed, QS_SENDMESSAGE);
        if (waited != WAIT_OBJECT_0 + 1)
            return waited;
        // Only sent messages are delivered; posted ones stay queued.
        MSG message;
        ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}
