#pragma once
// The window toolkit's application module: the per-thread registry of message
// loops.

#include <windows.h>
#include <map>

class CMessageLoop;

class CAppModule {
public:
    CAppModule();
    ~CAppModule();
    CAppModule(const CAppModule&) = delete;
    CAppModule& operator=(const CAppModule&) = delete;

    void Term();

    bool AddMessageLoop(CMessageLoop* loop);
    bool RemoveMessageLoop();
    CMessageLoop* GetMessageLoop(DWORD threadId = ::GetCurrentThreadId());

private:
    CRITICAL_SECTION lock_;
    std::map<DWORD, CMessageLoop*> loops_;
};
