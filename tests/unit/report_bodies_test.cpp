#include <gtest/gtest.h>

#include <windows.h>

#include "telemetry/report_bodies.h"

namespace {

const char kId[] = "{0F8FAD5B-D9CB-469F-A165-70867728950E}";

std::string Repeat(const std::string& piece, size_t count)
{
    std::string result;
    for (size_t i = 0; i < count; ++i)
        result += piece;
    return result;
}

TEST(ReportBodiesTest, IdentifierIsUpperCasedAndKeptUnencodedInEvents)
{
    std::string id = ReportIdentifier(L"{0f8fad5b-d9cb-469f-a165-70867728950e}");
    EXPECT_EQ(id, kId);
    EXPECT_EQ(EventBody(id, kEventRunStart), "guid={0F8FAD5B-D9CB-469F-A165-70867728950E}&event=1");
    EXPECT_EQ(EventBody(id, kEventGameStart), "guid={0F8FAD5B-D9CB-469F-A165-70867728950E}&event=3");
}

TEST(ReportBodiesTest, UpdateFinishedCarriesSecondsIn64BitsAndBytesUnsigned)
{
    EXPECT_EQ(UpdateFinishedBody(kId, 0, 0), std::string("guid=") + kId + "&event=2&seconds=0&bytes=0");
    EXPECT_EQ(UpdateFinishedBody(kId, 5000000000LL, 4294967295u),
              std::string("guid=") + kId + "&event=2&seconds=5000000000&bytes=4294967295");
}

TEST(ReportBodiesTest, FailureFieldsInOrderWithUtf8Text)
{
    RunFigures figures;
    figures.percent = 42;
    figures.errors = 3;
    figures.bytes = 123456;
    EXPECT_EQ(FailureBody(kId, kEventRequestFailed, figures, 17, -1, L"Ошибка: файл \"a b\" 100%"),
              std::string("guid=") + kId +
                  "&event=10&percent=42&errors=3&seconds=17&bytes=123456&option=-1"
                  "&text=%D0%9E%D1%88%D0%B8%D0%B1%D0%BA%D0%B0%3A%20%D1%84%D0%B0%D0%B9%D0%BB%20%22a%20b%22%20100%25");
    EXPECT_EQ(FailureBody(kId, kEventPlanFailed, figures, 17, 2, L"x"),
              std::string("guid=") + kId + "&event=12&percent=42&errors=3&seconds=17&bytes=123456&option=2&text=x");
}

TEST(ReportBodiesTest, TextThatDoesNotFit2048BytesWithItsTerminatorIsSentEmpty)
{
    struct Case {
        std::wstring text;
        std::string encoded;
    };
    const Case cases[] = {
        {std::wstring(2047, L'a'), std::string(2047, 'a')},
        {std::wstring(2048, L'a'), ""},
        {std::wstring(1023, L'ж'), Repeat("%D0%B6", 1023)},  // 2046 bytes
        {std::wstring(1023, L'ж') + L"a", Repeat("%D0%B6", 1023) + "a"},  // 2047 bytes
        {std::wstring(1024, L'ж'), ""},  // 2048 bytes
        {L"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.size());
        EXPECT_EQ(EncodeEventText(c.text), c.encoded);
        std::string body = FailureBody(kId, kEventRequestFailed, RunFigures(), 0, 0, c.text);
        EXPECT_EQ(body.substr(body.find("&text=")), "&text=" + c.encoded);
    }
}

TEST(ReportBodiesTest, StopCarriesThePollAnswerAndItsTextOnlyWhenThereIsOne)
{
    RunFigures figures;
    figures.percent = 7;
    figures.errors = 0;
    figures.bytes = 1000;
    std::string head = std::string("guid=") + kId + "&event=11&percent=7&errors=0&seconds=9&bytes=1000";
    EXPECT_EQ(StopBody(kId, figures, 9, 0, L""), head + "&option=0");
    EXPECT_EQ(StopBody(kId, figures, 9, 5, L""), head + "&option=5");
    EXPECT_EQ(StopBody(kId, figures, 9, 4, L"Нет времени"),
              head + "&option=4&text=%D0%9D%D0%B5%D1%82%20%D0%B2%D1%80%D0%B5%D0%BC%D0%B5%D0%BD%D0%B8");
}

TEST(ReportBodiesTest, ErrorLogOfLettersIsSentWhole)
{
    std::string letters;
    for (int i = 0; i < 30000; ++i)
        letters += static_cast<char>('a' + i % 26);
    EXPECT_EQ(EncodeErrorLog(letters), letters);
    EXPECT_EQ(ErrorLogBody(kId, "Crash\r\n"), std::string("guid=") + kId + "&errlog=Crash%0D%0A");
}

TEST(ReportBodiesTest, ErrorLogIsCutTo65536EncodedCharacters)
{
    std::string encoded = EncodeErrorLog(std::string(30000, ' '));
    ASSERT_EQ(encoded.size(), kErrorLogChars);
    EXPECT_EQ(encoded, Repeat("%20", 21845) + "%");
}

TEST(ReportBodiesTest, ErrorLogKeepsWhatFollowsAZeroByte)
{
    EXPECT_EQ(EncodeErrorLog(std::string("before\0after", 12)), "before%00after");
}

TEST(ReportBodiesTest, ErrorLogGoesFromTheAnsiCodePageToUtf8)
{
    if (::GetACP() != 1252)
        GTEST_SKIP() << "the expected bytes are those of code page 1252";
    EXPECT_EQ(EncodeErrorLog("Caf\xE9 \x80"), "Caf%C3%A9%20%E2%82%AC");
}

TEST(ReportBodiesTest, ProgressIsRoundedToNearestZeroWithNothingToDoAndAtMostFull)
{
    EXPECT_EQ(ProgressPercent(0, 0), 0);
    EXPECT_EQ(ProgressPercent(5, 0), 0);
    EXPECT_EQ(ProgressPercent(1, 3), 33);
    EXPECT_EQ(ProgressPercent(2, 3), 67);
    EXPECT_EQ(ProgressPercent(1, 200), 1);
    EXPECT_EQ(ProgressPercent(1, 201), 0);
    EXPECT_EQ(ProgressPercent(4000000000u, 4000000000u), 100);
    EXPECT_EQ(ProgressPercent(3000000000u, 4000000000u), 75);
    EXPECT_EQ(ProgressPercent(5, 4), 100);
    EXPECT_EQ(ProgressPercent(4000000000u, 1), 100);
}

} // namespace
