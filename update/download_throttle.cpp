#include "update/download_throttle.h"

#include <algorithm>

#include "services/settings_store.h"

const wchar_t kDownloadSpeedLimitSetting[] = L"Debug\\DownloadSpeedLimit";

namespace {

// A quarter of a second at the limit: 5 % of any five seconds.
const double kBucketSeconds = 0.25;

} // namespace

unsigned StoredDownloadSpeedLimit(CSettingsStore& store)
{
    return std::min(store.GetUnsigned(kDownloadSpeedLimitSetting, 0), kMostDownloadSpeedLimit);
}

void CDownloadThrottle::SetLimit(uint32_t bytesPerSecond, uint64_t nowMs)
{
    if (bytesPerSecond == limit_)
        return;
    limit_ = bytesPerSecond;
    tokens_ = 0;
    lastMs_ = nowMs;
}

void CDownloadThrottle::Refill(uint64_t nowMs)
{
    const double capacity = limit_ * kBucketSeconds;
    if (nowMs > lastMs_)
        tokens_ = std::min(capacity, tokens_ + limit_ * static_cast<double>(nowMs - lastMs_) / 1000.0);
    lastMs_ = std::max(lastMs_, nowMs);
}

uint32_t CDownloadThrottle::Delay(uint32_t count, uint64_t nowMs)
{
    if (limit_ == 0)
        return 0;
    Refill(nowMs);
    tokens_ -= count;
    if (tokens_ >= 0)
        return 0;
    return static_cast<uint32_t>(-tokens_ * 1000.0 / limit_ + 0.999);
}
