#pragma once
// The window toolkit's application module: the per-thread registry of message
// loops and the COM module lock count.

#include <windows.h>
#include <map>

class CMessageLoop;

class CAppModule {
public:
    CAppModule();
    ~CAppModule();
    CAppModule(const CAppModule&) = delete;
    CAppModule& operator=(const CAppModule&) = delete;

    HRESULT Init(HINSTANCE instance);
    void Term();
    HINSTANCE GetInstance() const { return instance_; }

    bool AddMessageLoop(CMessageLoop* loop);
    bool RemoveMessageLoop();
    CMessageLoop* GetMessageLoop(DWORD threadId = ::GetCurrentThreadId());

    LONG Lock() { return ::InterlockedIncrement(&lockCount_); }
    LONG Unlock() { return ::InterlockedDecrement(&lockCount_); }

private:
    HINSTANCE instance_ = nullptr;
    CRITICAL_SECTION lock_;
    std::map<DWORD, CMessageLoop*> loops_;
    LONG lockCount_ = 0;
};
