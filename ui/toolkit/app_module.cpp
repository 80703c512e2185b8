#include "ui/toolkit/app_module.h"

namespace {

class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CRITICAL_SECTION& cs) : cs_(cs) { ::EnterCriticalSection(&cs_); }
    ~CriticalSectionLock() { ::LeaveCriticalSection(&cs_); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CRITICAL_SECTION& cs_;
};

} // namespace

CAppModule::CAppModule()
{
    ::InitializeCriticalSection(&lock_);
}

CAppModule::~CAppModule()
{
    ::DeleteCriticalSection(&lock_);
}

void CAppModule::Term()
{
    CriticalSectionLock guard(lock_);
    loops_.clear();
}

bool CAppModule::AddMessageLoop(CMessageLoop* loop)
{
    CriticalSectionLock guard(lock_);
    return loops_.emplace(::GetCurrentThreadId(), loop).second;
}

bool CAppModule::RemoveMessageLoop()
{
    CriticalSectionLock guard(lock_);
    return loops_.erase(::GetCurrentThreadId()) == 1;
}

CMessageLoop* CAppModule::GetMessageLoop(DWORD threadId)
{
    CriticalSectionLock guard(lock_);
    auto it = loops_.find(threadId);
    return it == loops_.end() ? nullptr : it->second;
}
