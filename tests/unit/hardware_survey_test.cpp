#include <gtest/gtest.h>

#include <windows.h>

#include "telemetry/hardware_survey.h"
#include "tests/fakes/fixed_hardware_facts.h"

namespace {

const char kIdentifier[] = "{0F8FAD5B-D9CB-469F-A165-70867728950E}";

TEST(HardwareSurveyTest, ProcessorNameLosesLeadingBlanksAndIsEncoded)
{
    CFixedHardwareFacts facts;
    facts.brand = "       Intel(R) Pentium(R) 4 CPU 3.00GHz";
    EXPECT_EQ(GetProcessorName(facts), "Intel(R)%20Pentium(R)%204%20CPU%203.00GHz");

    facts.brand = "AMD Athlon(tm) 64 X2 ";
    EXPECT_EQ(GetProcessorName(facts), "AMD%20Athlon(tm)%2064%20X2%20");

    facts.brand = std::string(48, ' ');
    EXPECT_EQ(GetProcessorName(facts), "");
}

TEST(HardwareSurveyTest, AdapterNameOrOneOfTheFailureTexts)
{
    CFixedHardwareFacts facts;
    EXPECT_EQ(GetAdapterName(facts), "Unable%20to%20create%20IDirect3D9");

    facts.adapter.direct3dCreated = true;
    EXPECT_EQ(GetAdapterName(facts), "GetAdapterIdentifier%20failed");

    facts.SetAdapter("NVIDIA GeForce 6600 GT", 3, 0, 3, 0);
    EXPECT_EQ(GetAdapterName(facts), "NVIDIA%20GeForce%206600%20GT");
}

TEST(HardwareSurveyTest, AdapterDescriptionKeepsItsTrailingBlanksEncoded)
{
    CFixedHardwareFacts facts;
    facts.SetAdapter("RADEON 9600   ", 2, 0, 2, 0);
    EXPECT_EQ(GetAdapterName(facts), "RADEON%209600%20%20%20");
}

TEST(HardwareSurveyTest, AdapterDescriptionGoesFromTheAnsiCodePageToUtf8)
{
    if (::GetACP() != 1252)
        GTEST_SKIP() << "the expected bytes are those of code page 1252";
    CFixedHardwareFacts facts;
    facts.SetAdapter("Caf\xE9 & Co", 2, 0, 2, 0);
    EXPECT_EQ(GetAdapterName(facts), "Caf%C3%A9%20%26%20Co");
}

TEST(HardwareSurveyTest, ConfigurationReportBody)
{
    CFixedHardwareFacts facts;
    facts.brand = "  Intel(R) Core(TM)2 Duo CPU";
    facts.SetAdapter("ATI Radeon X1950 Pro  ", 3, 0, 3, 0);
    EXPECT_EQ(BuildConfigurationReport(facts, kIdentifier),
              "cpu=Intel(R)%20Core(TM)2%20Duo%20CPU&gfx=ATI%20Radeon%20X1950%20Pro%20%20"
              "&guid=%7B0F8FAD5B-D9CB-469F-A165-70867728950E%7D");
}

TEST(HardwareSurveyTest, RealSurveyNamesTheProcessorAndTheAdapterOrWhyNot)
{
    CPlatformHardwareFacts facts;
    EXPECT_FALSE(GetProcessorName(facts).empty());
    std::string adapter = GetAdapterName(facts);
    EXPECT_FALSE(adapter.empty());

    AdapterFacts raw = facts.DefaultAdapter();
    if (!raw.direct3dCreated)
        EXPECT_EQ(adapter, "Unable%20to%20create%20IDirect3D9");
    else if (!raw.identifierRead)
        EXPECT_EQ(adapter, "GetAdapterIdentifier%20failed");
    else
        EXPECT_TRUE(adapter != "Unable%20to%20create%20IDirect3D9" && adapter != "GetAdapterIdentifier%20failed");
}

} // namespace
