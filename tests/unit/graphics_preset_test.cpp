#include <gtest/gtest.h>

#include "tests/fakes/captured_prompt.h"
#include "tests/fakes/fixed_hardware_facts.h"
#include "tests/fakes/scratch_store.h"
#include "ui/graphics_preset.h"

namespace {

using Values = std::map<std::wstring, std::wstring>;

const wchar_t kTestKey[] = L"Software\\TarnholdTests\\Preset";
const wchar_t kDownsampling[] = L"Engine/Graphics/Options/TextureDownsampling";
const wchar_t kWater[] = L"PerfomanceOptions/WaterReflection";
const wchar_t* const kPresetDetails[] = {
    L"PerfomanceOptions/GrassFarPlaneMultiplier", L"PerfomanceOptions/GrassDensity",
    L"PerfomanceOptions/EffectsDensity", L"PerfomanceOptions/ObjectsAndEffectsFarplane",
    L"PerfomanceOptions/ReflectionFarplane"};

// What every preset writes, whatever the adapter.
const Values kFixed = {
    {L"Engine/Graphics/GlobalLighting/GlobalLightingMode", L"0"},
    {L"Engine/Graphics/GlobalLighting/FilterMode", L"0"},
    {L"Engine/Graphics/GlobalLighting/SMSettings/SMSize", L"1024"},
    {L"Engine/Graphics/GlobalLighting/SMSettings/NumShadowFrustums", L"4"},
    {L"Engine/Graphics/GlobalLighting/SMSettings/ShadowMapFarPlane0", L"15"},
    {L"Engine/Graphics/GlobalLighting/SMSettings/ShadowMapFarPlane1", L"40"},
    {L"Engine/Graphics/GlobalLighting/SMSettings/ShadowMapFarPlane2", L"100"},
    {L"Engine/Graphics/GlobalLighting/SMSettings/ShadowMapFarPlane3", L"200"},
    {L"Engine/Graphics/Options/TextureAnizotropy", L"0"},
    {L"Engine/Graphics/Options/TrilinearFiltering", L"0"},
};

TEST(GraphicsPresetTest, ShaderLevelAndRenderTargetsChooseThePreset)
{
    struct Case {
        int psMajor, psMinor;
        DWORD renderTargets;
        const wchar_t* downsampling;
        const wchar_t* detail;
        const wchar_t* water;
        bool warns;
    };
    const Case cases[] = {
        {3, 0, 4, L"1", L"0.700000", L"1", false}, {3, 0, 2, L"2", L"0.700000", L"1", false},
        {2, 0, 3, L"1", L"0.500000", L"1", false}, {2, 0, 1, L"1", L"0.300000", L"0", false},
        {1, 4, 4, L"1", L"0.500000", L"1", true},  {0, 0, 0, L"1", L"0.300000", L"0", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.psMajor << "." << c.psMinor << " targets " << c.renderTargets);
        CScratchStore scratch(kTestKey);
        CFixedHardwareFacts facts;
        facts.SetAdapter("Adapter", c.psMajor, c.psMinor, 2, 0);
        facts.adapter.renderTargets = c.renderTargets;
        CCapturedPrompt prompt;

        ApplyDefaultQuality(facts, prompt, scratch.store);

        Values expected = kFixed;
        expected[kDownsampling] = c.downsampling;
        expected[kWater] = c.water;
        for (const wchar_t* detail : kPresetDetails)
            expected[detail] = c.detail;
        EXPECT_EQ(scratch.Values(), expected);
        ASSERT_EQ(prompt.messages.size(), c.warns ? 1u : 0u);
        if (c.warns) {
            EXPECT_EQ(prompt.messages[0].caption, L"Compatibility error");
        }
    }
}

TEST(GraphicsPresetTest, KeepsTheStoredAnisotropyAndWritesNothingWithoutDirect3D)
{
    CScratchStore scratch(kTestKey);
    scratch.store.SetInt(L"Engine/Graphics/Options/TextureAnizotropy", 8);
    CFixedHardwareFacts facts;
    CCapturedPrompt prompt;

    ApplyDefaultQuality(facts, prompt, scratch.store);
    EXPECT_EQ(scratch.Values().size(), 1u);
    EXPECT_TRUE(prompt.messages.empty());

    facts.SetAdapter("Adapter", 3, 0, 3, 0);
    ApplyDefaultQuality(facts, prompt, scratch.store);
    EXPECT_EQ(scratch.Values()[L"Engine/Graphics/Options/TextureAnizotropy"], L"8");
}

} // namespace
