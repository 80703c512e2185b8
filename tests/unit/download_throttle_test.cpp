// The download throttle against a simulated reader that takes 16 KiB chunks
// as soon as it may and pauses between packages: no five seconds run more
// than 10 % over the limit, the pauses are made up, and a new limit holds
// within two seconds.

#include <gtest/gtest.h>

#include <deque>
#include <utility>

#include "update/download_throttle.h"

TEST(DownloadThrottle, HoldsTheLimitOverAnyFiveSecondsAndMakesUpPauses)
{
    const struct {
        uint32_t limit, laterLimit;
    } runs[] = {{64 * 1024, 64 * 1024}, {500 * 1024, 500 * 1024}, {2 << 20, 300 * 1024}, {300 * 1024, 2 << 20}};
    const uint32_t chunk = 16384;
    const uint64_t changeMs = 30000, endMs = 60000;
    for (const auto& run : runs) {
        CDownloadThrottle throttle;
        throttle.SetLimit(run.limit, 0);
        std::deque<std::pair<uint64_t, uint32_t>> window;  // arrivals of the last five seconds
        uint64_t now = 0, inWindow = 0, total = 0, sincePackage = 0, totalAfterChange = 0;
        bool waited = false;
        while (now < endMs) {
            if (now >= changeMs && throttle.Limit() != run.laterLimit)
                throttle.SetLimit(run.laterLimit, now);
            const uint32_t limit = now >= changeMs ? run.laterLimit : run.limit;
            window.emplace_back(now, chunk);
            inWindow += chunk;
            total += chunk;
            if (now >= changeMs)
                totalAfterChange += chunk;
            while (window.front().first + 5000 <= now) {
                inWindow -= window.front().second;
                window.pop_front();
            }
            // Windows that began two seconds after the change hold the new limit.
            if (now >= 5000 && (now < changeMs || now >= changeMs + 7000)) {
                ASSERT_LE(inWindow, limit * 5.5) << run.limit << " at " << now;
            }
            now += throttle.Delay(chunk, now);
            sincePackage += chunk;
            if (sincePackage >= 256 * 1024) {
                sincePackage = 0;
                now += 60;
            }
            // A retry's wait earns no more than the bucket holds.
            if (now >= 15000 && !waited) {
                waited = true;
                now += 3000;
            }
        }
        EXPECT_GE(total - totalAfterChange, run.limit * 0.95 * (changeMs - 3000) / 1000) << run.limit;
        EXPECT_GE(totalAfterChange, run.laterLimit * 0.95 * (endMs - changeMs) / 1000) << run.limit;
    }
}
