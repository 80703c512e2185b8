#pragma once
// One publisher run at a time per output tree: the lock file is held open
// for writing, with read sharing only, for the whole run, and names its
// holder. The system lets go of it when the process ends, however it ends.

#include <string>

#include "support/win_handles.h"

class CPublishLock {
public:
    // Takes the lock or throws PublishError naming who holds it.
    explicit CPublishLock(const std::wstring& path);

private:
    UniqueHandle file_;
};
