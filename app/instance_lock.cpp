#include "app/instance_lock.h"

#include <cstdint>
#include <string>

#include "support/module_path.h"
#include "support/text_utils.h"

namespace {

// Per session: another user's launcher is another player's.
const wchar_t kLockPrefix[] = L"Local\\TarnholdLauncher.";

// A path may be longer than a mutex name may be: the name carries a 64-bit
// FNV-1a hash of the path in capitals, as paths compare without case.
std::wstring LockName()
{
    uint64_t hash = 14695981039346656037ull;
    for (wchar_t c : ToUpper(ModuleFilePath())) {
        hash ^= static_cast<uint16_t>(c);
        hash *= 1099511628211ull;
    }
    return kLockPrefix + FormatString(L"%016llx", static_cast<unsigned long long>(hash));
}

} // namespace

CInstanceLock::CInstanceLock() : mutex_(::CreateMutexW(nullptr, FALSE, LockName().c_str())) {}

CInstanceLock::~CInstanceLock()
{
    if (held_ && mutex_)
        ::ReleaseMutex(mutex_.Get());
}

bool CInstanceLock::Acquire(DWORD ms)
{
    if (held_)
        return true;
    // Without a mutex there is nothing to coordinate with: the launcher runs.
    if (!mutex_)
        return held_ = true;
    // An abandoned lock is ours too: its holder ended without letting go.
    DWORD result = ::WaitForSingleObject(mutex_.Get(), ms);
    held_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    return held_;
}
