// What the main window derives from the run's figures: the shift that fits a
// byte count into a progress bar, and the launcher page's address.

#include <gtest/gtest.h>

#include "ui/launcher_page.h"
#include "ui/progress_shift.h"

TEST(LauncherWindowFigures, ByteCountsAreShiftedIntoSixteenBits)
{
    const struct {
        DWORD bytes;
        int shift;
    } cases[] = {{0, 1}, {65535, 1}, {65536, 1}, {131072, 2}, {0x80000000u, 16}, {0xFFFFFFFFu, 16}};
    for (const auto& c : cases) {
        EXPECT_EQ(ProgressShift(c.bytes), c.shift) << c.bytes;
        EXPECT_LE(c.bytes >> c.shift, 0xFFFFu) << c.bytes;
    }
}

TEST(LauncherWindowFigures, PageAddressAsksForThisMachine)
{
    const std::wstring id = L"{0A1B2C3D-0000-4000-8000-00000000AB12}";
    const std::wstring guid = L"guid=%7B0A1B2C3D-0000-4000-8000-00000000AB12%7D";
    const struct {
        const wchar_t* page;
        std::wstring address;
    } cases[] = {
        {L"http://news.example/launcher", L"http://news.example/launcher?" + guid},
        {L"http://news.example/launcher?", L"http://news.example/launcher?" + guid},
        {L"http://news.example/launcher?lang=ru", L"http://news.example/launcher?lang=ru&" + guid},
        {L"http://news.example/a?b?", L"http://news.example/a?b?" + guid},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LauncherPageAddress(c.page, id), c.address) << c.page;
}
