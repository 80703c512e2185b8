#pragma once
// Waiting on a window's thread for another thread that may be sending to
// that window: messages sent to this thread are delivered while it waits, so
// the other thread is never left blocked on it.

#include <windows.h>

// WAIT_OBJECT_0 when the handle was signalled, WAIT_TIMEOUT after ms.
DWORD WaitDeliveringSentMessages(HANDLE handle, DWORD ms);
