#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "telemetry/failure_report_limit.h"

namespace {

int CountReported(CFailureReportLimit& limit, const std::vector<std::wstring>& texts)
{
    int reported = 0;
    for (const std::wstring& text : texts)
        reported += limit.ShouldReport(text) ? 1 : 0;
    return reported;
}

TEST(FailureReportLimitTest, TenIdenticalFailuresAreReportedSixTimes)
{
    CFailureReportLimit limit;
    std::vector<bool> reported;
    for (int i = 0; i < 10; ++i)
        reported.push_back(limit.ShouldReport(L"WinInet Error in row 191. 12029 "));
    EXPECT_EQ(reported, std::vector<bool>({true, true, true, true, true, true, false, false, false, false}));
}

TEST(FailureReportLimitTest, AnotherTextIsReportedAndStartsAFreshRun)
{
    CFailureReportLimit limit;
    EXPECT_EQ(CountReported(limit, std::vector<std::wstring>(8, L"a")), 6);
    EXPECT_TRUE(limit.ShouldReport(L"b"));
    EXPECT_EQ(CountReported(limit, std::vector<std::wstring>(9, L"a")), 6);
}

TEST(FailureReportLimitTest, ReceivedDataLiftsTheLimit)
{
    CFailureReportLimit limit;
    EXPECT_EQ(CountReported(limit, std::vector<std::wstring>(8, L"a")), 6);
    limit.OnDataReceived();
    // The text still equals the last one: the repeats count again from one.
    EXPECT_EQ(CountReported(limit, std::vector<std::wstring>(8, L"a")), 5);
}

TEST(FailureReportLimitTest, AlternatingTextsAreAllReported)
{
    CFailureReportLimit limit;
    std::vector<std::wstring> texts;
    for (int i = 0; i < 20; ++i)
        texts.push_back(i % 2 ? L"x" : L"y");
    EXPECT_EQ(CountReported(limit, texts), 20);
}

} // namespace
