#pragma once
// Shuts a socket down when its deadline passes, or at once when told to stop,
// from a thread of its own: a blocked receive on it then returns at once. The
// socket-library client arms it around every wait for the server.

#include <windows.h>
#include <condition_variable>
#include <mutex>
#include <thread>

class CSocketWatchdog {
public:
    enum class Cause { None, Expired, Interrupted };

    CSocketWatchdog();
    ~CSocketWatchdog();
    CSocketWatchdog(const CSocketWatchdog&) = delete;
    CSocketWatchdog& operator=(const CSocketWatchdog&) = delete;

    // Watches the socket (a SOCKET) until Disarm, at most until the deadline.
    void Arm(UINT_PTR socket, ULONGLONG deadlineTick);
    // Stops watching; why the socket was shut meanwhile, if it was.
    Cause Disarm();
    // From any thread: shuts the watched socket now, and every one armed
    // until Rearm.
    void Interrupt();
    void Rearm();

private:
    void Watch();
    void ShutLocked(Cause cause);

    std::mutex mutex_;
    std::condition_variable wake_;
    UINT_PTR socket_ = 0;
    bool armed_ = false;
    ULONGLONG deadline_ = 0;
    // The tick the watching thread sleeps until; 0 while it sleeps unarmed.
    // An arm with a later deadline need not wake it.
    ULONGLONG sleepingUntil_ = 0;
    Cause cause_ = Cause::None;
    bool interrupted_ = false;
    bool quit_ = false;
    std::thread thread_;
};
