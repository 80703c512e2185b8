#pragma once
// The window toolkit's message loop: message filters see each message before
// it is dispatched, idle handlers run when the queue is empty.

#include <windows.h>
#include <vector>

class CMessageFilter {
public:
    virtual BOOL PreTranslateMessage(MSG* msg) = 0;

protected:
    ~CMessageFilter() = default;
};

class CIdleHandler {
public:
    virtual BOOL OnIdle() = 0;

protected:
    ~CIdleHandler() = default;
};

class CMessageLoop {
public:
    void AddMessageFilter(CMessageFilter* filter);
    void RemoveMessageFilter(CMessageFilter* filter);
    void AddIdleHandler(CIdleHandler* handler);
    void RemoveIdleHandler(CIdleHandler* handler);

    // Runs until WM_QUIT and returns its exit code.
    int Run();
    // Whether the message, once handled, gives the idle handlers another turn.
    static bool IsIdleMessage(const MSG& msg);

private:
    BOOL PreTranslateMessage(MSG* msg);
    // Runs every handler once; TRUE while all of them ask for more idle time.
    BOOL OnIdle();

    std::vector<CMessageFilter*> filters_;
    std::vector<CIdleHandler*> idleHandlers_;
};
