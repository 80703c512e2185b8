#include <winsock2.h>

#include "net/socket_watchdog.h"

#include <chrono>

CSocketWatchdog::CSocketWatchdog() : thread_(&CSocketWatchdog::Watch, this) {}

CSocketWatchdog::~CSocketWatchdog()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void CSocketWatchdog::Arm(UINT_PTR socket, ULONGLONG deadlineTick)
{
    std::lock_guard<std::mutex> lock(mutex_);
    socket_ = socket;
    deadline_ = deadlineTick;
    cause_ = Cause::None;
    armed_ = true;
    if (interrupted_)
        ShutLocked(Cause::Interrupted);
    else if (sleepingUntil_ == 0 || deadlineTick < sleepingUntil_)
        wake_.notify_one();
}

CSocketWatchdog::Cause CSocketWatchdog::Disarm()
{
    std::lock_guard<std::mutex> lock(mutex_);
    armed_ = false;
    return cause_;
}

void CSocketWatchdog::Interrupt()
{
    std::lock_guard<std::mutex> lock(mutex_);
    interrupted_ = true;
    if (armed_)
        ShutLocked(Cause::Interrupted);
}

void CSocketWatchdog::Rearm()
{
    std::lock_guard<std::mutex> lock(mutex_);
    interrupted_ = false;
}

void CSocketWatchdog::Watch()
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (!quit_) {
        if (!armed_) {
            sleepingUntil_ = 0;
            wake_.wait(lock);
            continue;
        }
        ULONGLONG now = ::GetTickCount64();
        if (now >= deadline_) {
            ShutLocked(Cause::Expired);
            continue;
        }
        sleepingUntil_ = deadline_;
        wake_.wait_for(lock, std::chrono::milliseconds(deadline_ - now));
    }
}

// Shutting down, not closing: the socket stays the library's to close, and its
// number cannot pass to another socket meanwhile. A shutdown alone does not
// wake a receive already waiting everywhere (not under Wine): cancelling the
// socket's pending I/O does.
void CSocketWatchdog::ShutLocked(Cause cause)
{
    ::CancelIoEx(reinterpret_cast<HANDLE>(socket_), nullptr);
    ::shutdown(static_cast<SOCKET>(socket_), SD_BOTH);
    cause_ = cause;
    armed_ = false;
}
