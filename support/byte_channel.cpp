#include "support/byte_channel.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK& lock) : lock_(lock) { ::AcquireSRWLockExclusive(&lock_); }
    ~ExclusiveLock() { ::ReleaseSRWLockExclusive(&lock_); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

private:
    SRWLOCK& lock_;
};

} // namespace

CByteChannel::CByteChannel(size_t capacity) : ring_(capacity) {}

long CByteChannel::Write(const uint8_t* data, size_t size)
{
    ExclusiveLock hold(lock_);
    while (count_ == ring_.size() && !readerClosed_)
        ::SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    if (readerClosed_) {
        errno = EPIPE;
        return -1;
    }
    // Up to the free space, in at most two pieces around the ring's end.
    const size_t taken = std::min(size, ring_.size() - count_);
    const size_t end = (start_ + count_) % ring_.size();
    const size_t first = std::min(taken, ring_.size() - end);
    std::memcpy(ring_.data() + end, data, first);
    std::memcpy(ring_.data(), data + first, taken - first);
    count_ += taken;
    ::WakeAllConditionVariable(&changed_);
    return static_cast<long>(taken);
}

int CByteChannel::Read(void* buffer, unsigned size)
{
    ExclusiveLock hold(lock_);
    while (count_ == 0 && !writerClosed_)
        ::SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    const size_t given = std::min<size_t>(size, count_);
    const size_t first = std::min(given, ring_.size() - start_);
    auto* out = static_cast<uint8_t*>(buffer);
    std::memcpy(out, ring_.data() + start_, first);
    std::memcpy(out + first, ring_.data(), given - first);
    start_ = (start_ + given) % ring_.size();
    count_ -= given;
    ::WakeAllConditionVariable(&changed_);
    return static_cast<int>(given);
}

void CByteChannel::CloseWriter()
{
    ExclusiveLock hold(lock_);
    writerClosed_ = true;
    ::WakeAllConditionVariable(&changed_);
}

void CByteChannel::CloseReader()
{
    ExclusiveLock hold(lock_);
    readerClosed_ = true;
    ::WakeAllConditionVariable(&changed_);
}
