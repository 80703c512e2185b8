#include <gtest/gtest.h>

#include "services/string_ids.h"
#include "services/string_table.h"
#include "support/text_utils.h"
#include "telemetry/compatibility_check.h"
#include "tests/fakes/captured_prompt.h"
#include "tests/fakes/fixed_hardware_facts.h"

namespace {

const wchar_t kEnglishRefusal[] =
    L"Unfortunately, your video adapter does not meet the minimum requirements of the game or no drivers are "
    L"installed, allowing to use the hardware capabilities of the video card.\n\nDevice: %s, Pixel Shader: %s, "
    L"Vertex Shaders %s\n\nMinimal requirements: Pixel Shader 2.0, Vertex Shaders: 2.0";
const wchar_t kRussianRefusal[] =
    L"К сожалению, Ваш видеоадаптер не удовлетворяет минимальным требованиям игры, либо не установлены драйверы, "
    L"позволяющие использовать аппаратные возможности видеоадаптера.\n\nУстройство: %s, пиксельные шейдеры: %s, "
    L"вершинные шейдеры: %s\n\nМинимально необходимо: пиксельные шейдеры: 2.0, вершинные шейдеры: 2.0";

class CompatibilityCheckTest : public ::testing::Test {
protected:
    void TearDown() override { SetCurrentLanguage(kLanguageRussian); }

    CFixedHardwareFacts facts;
    CCapturedPrompt prompt;
};

TEST_F(CompatibilityCheckTest, PixelShader14IsRefusedWithBothVersionsInTheMessage)
{
    SetCurrentLanguage(kLanguageEnglish);
    facts.SetAdapter("RADEON 9000", 1, 4, 2, 0);

    EXPECT_FALSE(CheckCompatibility(facts, prompt));

    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, FormatString(kEnglishRefusal, L"RADEON 9000", L"1.4", L"2.0"));
    EXPECT_EQ(prompt.messages[0].caption, L"Tarnhold");
    EXPECT_EQ(prompt.messages[0].type, UINT(MB_OK | MB_ICONERROR));
    EXPECT_TRUE(prompt.openedAddresses.empty());
}

TEST_F(CompatibilityCheckTest, RefusalSpeaksTheInterfaceLanguage)
{
    facts.SetAdapter("RADEON 9000", 1, 4, 2, 0);

    EXPECT_FALSE(CheckCompatibility(facts, prompt));

    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, FormatString(kRussianRefusal, L"RADEON 9000", L"1.4", L"2.0"));
}

TEST_F(CompatibilityCheckTest, OnlyThePixelShaderMajorVersionDecides)
{
    struct Case {
        int psMajor, psMinor, vsMajor, vsMinor;
        bool passes;
    };
    const Case cases[] = {
        {2, 0, 1, 1, true}, {2, 0, 0, 0, true}, {3, 0, 3, 0, true}, {2, 1, 2, 0, true},
        {1, 4, 2, 0, false}, {1, 1, 3, 0, false}, {0, 0, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "ps " << c.psMajor << "." << c.psMinor << " vs " << c.vsMajor << "."
                                        << c.vsMinor);
        CCapturedPrompt freshPrompt;
        facts.SetAdapter("Adapter", c.psMajor, c.psMinor, c.vsMajor, c.vsMinor);
        EXPECT_EQ(CheckCompatibility(facts, freshPrompt), c.passes);
        EXPECT_EQ(freshPrompt.messages.size(), c.passes ? 0u : 1u);
    }
}

TEST_F(CompatibilityCheckTest, TrailingBlanksOfTheDescriptionAreNotShown)
{
    SetCurrentLanguage(kLanguageEnglish);
    facts.SetAdapter("  GeForce FX 5200   ", 1, 4, 2, 0);

    EXPECT_FALSE(CheckCompatibility(facts, prompt));

    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, FormatString(kEnglishRefusal, L"  GeForce FX 5200", L"1.4", L"2.0"));
}

TEST_F(CompatibilityCheckTest, EmptyDescriptionShowsTheDeviceName)
{
    SetCurrentLanguage(kLanguageEnglish);
    facts.SetAdapter("", 1, 1, 1, 1);
    facts.adapter.deviceName = "\\\\.\\DISPLAY2 ";

    EXPECT_FALSE(CheckCompatibility(facts, prompt));

    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, FormatString(kEnglishRefusal, L"\\\\.\\DISPLAY2", L"1.1", L"1.1"));
}

TEST_F(CompatibilityCheckTest, UnreadableIdentifierShowsUnknownAdapter)
{
    SetCurrentLanguage(kLanguageEnglish);
    facts.adapter.direct3dCreated = true;

    EXPECT_FALSE(CheckCompatibility(facts, prompt));

    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, FormatString(kEnglishRefusal, L"Unknown adapter", L"0.0", L"0.0"));
}

TEST_F(CompatibilityCheckTest, WithoutDirect3DTheDownloadPageIsOfferedAndStartUpGoesOn)
{
    for (int answer : {IDOK, IDCANCEL}) {
        SCOPED_TRACE(answer);
        CCapturedPrompt freshPrompt;
        freshPrompt.answer = answer;

        EXPECT_TRUE(CheckCompatibility(facts, freshPrompt));

        ASSERT_EQ(freshPrompt.messages.size(), 1u);
        EXPECT_EQ(freshPrompt.messages[0].text, L"Wrong version of DirectX 9c. Go to download page?");
        EXPECT_EQ(freshPrompt.messages[0].caption, L"Error");
        EXPECT_EQ(freshPrompt.messages[0].type, UINT(MB_OKCANCEL));
        if (answer == IDOK) {
            ASSERT_EQ(freshPrompt.openedAddresses.size(), 1u);
            EXPECT_EQ(freshPrompt.openedAddresses[0], LoadLangString(IDS_DIRECTX_URL));
        } else {
            EXPECT_TRUE(freshPrompt.openedAddresses.empty());
        }
    }
}

TEST_F(CompatibilityCheckTest, OptionsDialogWarnsBelowShaderLevel20AndNeverStops)
{
    struct Case {
        int major, minor;
        bool warns;
    };
    const Case cases[] = {{0, 0, true}, {1, 4, true}, {1, 9, true}, {2, 0, false}, {3, 0, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.major << "." << c.minor);
        CCapturedPrompt freshPrompt;
        WarnIfShadersTooOld(D3DPS_VERSION(c.major, c.minor), freshPrompt);
        if (!c.warns) {
            EXPECT_TRUE(freshPrompt.messages.empty());
            continue;
        }
        ASSERT_EQ(freshPrompt.messages.size(), 1u);
        EXPECT_EQ(freshPrompt.messages[0].text,
                  L"Sorry, your video card is incompatible with our game:( You must upgrade your computer.");
        EXPECT_EQ(freshPrompt.messages[0].caption, L"Compatibility error");
        EXPECT_EQ(freshPrompt.messages[0].type, UINT(MB_OK));
    }
}

TEST_F(CompatibilityCheckTest, ShaderLevelIsMajorTimesTenPlusMinor)
{
    EXPECT_EQ(ShaderLevel(D3DPS_VERSION(3, 0)), 30);
    EXPECT_EQ(ShaderLevel(D3DPS_VERSION(1, 4)), 14);
    EXPECT_EQ(ShaderLevel(D3DVS_VERSION(2, 0)), 20);
    EXPECT_EQ(ShaderLevel(0), 0);
}

} // namespace
