#pragma once
// A named mutex per launcher executable (named from its full path), held for
// the life of the process: two launchers of one folder never run side by
// side, and uninstallation knows when one runs. The window search stays
// beside it, to bring the running launcher forward.

#include <windows.h>

#include "support/win_handles.h"

class CInstanceLock {
public:
    CInstanceLock();
    ~CInstanceLock();
    CInstanceLock(const CInstanceLock&) = delete;
    CInstanceLock& operator=(const CInstanceLock&) = delete;

    // True once this process holds the lock; waits up to `ms` for another
    // process to let it go (or to end).
    bool Acquire(DWORD ms);

private:
    UniqueHandle mutex_;
    bool held_ = false;
};
