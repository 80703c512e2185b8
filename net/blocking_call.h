#pragma once
// Runs the WinINet client's blocking calls on a thread of their own, so the
// caller gets control back at a deadline, or at once when told to stop,
// whatever WinINet does meanwhile with the handle the caller closes. A call
// given up on finishes by itself later; its thread then ends, and a fresh one
// serves the next call.

#include <windows.h>
#include <functional>
#include <memory>

#include "support/win_handles.h"

class CBlockingCall {
public:
    enum class Outcome { Done, Expired, Interrupted };

    CBlockingCall();
    ~CBlockingCall();
    CBlockingCall(const CBlockingCall&) = delete;
    CBlockingCall& operator=(const CBlockingCall&) = delete;

    // Runs call and waits for it at most timeoutMs. The call may outlive this
    // Run: it must own, or share, everything it touches.
    Outcome Run(std::function<void()> call, DWORD timeoutMs);
    // From any thread: the waiting Run, and every Run after it until Rearm,
    // ends as interrupted.
    void Interrupt();
    void Rearm();

private:
    struct Worker;
    void Abandon();

    std::shared_ptr<Worker> worker_;
    UniqueHandle interrupted_;
};
