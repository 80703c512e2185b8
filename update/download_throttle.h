#pragma once
// Keeps a run's downloads at or below a rate the player chose. A token
// bucket: bytes earn their right to arrive at the limit's pace, and the
// bucket holds at most a quarter of a second's worth, so time spent between
// requests (unpacking, a new request) is made up without ever running more
// than a few per cent over the limit in any five seconds.

#include <cstdint>

class CSettingsStore;

// The player's limit in the settings store, in KB/s; 0 for none. The run
// reads it again every second, so a change holds without a restart.
extern const wchar_t kDownloadSpeedLimitSetting[];
const unsigned kMostDownloadSpeedLimit = 1000000;

// The stored limit in KB/s, held to kMostDownloadSpeedLimit.
unsigned StoredDownloadSpeedLimit(CSettingsStore& store);

class CDownloadThrottle {
public:
    // Bytes per second; 0 lifts the limit. A new limit starts from an empty
    // bucket, so a lower one holds at once.
    void SetLimit(uint32_t bytesPerSecond, uint64_t nowMs);
    uint32_t Limit() const { return limit_; }
    // count bytes arrived at nowMs: how many milliseconds the reader waits
    // before it reads more.
    uint32_t Delay(uint32_t count, uint64_t nowMs);

private:
    void Refill(uint64_t nowMs);

    uint32_t limit_ = 0;
    // Bytes that may still arrive without waiting; below zero, bytes that
    // arrived ahead of their time.
    double tokens_ = 0;
    uint64_t lastMs_ = 0;
};
