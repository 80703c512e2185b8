#include <gtest/gtest.h>

#include "tests/fakes/captured_prompt.h"
#include "tests/fakes/fixed_hardware_facts.h"
#include "tests/fakes/scratch_store.h"
#include "ui/graphics_preset.h"

namespace {

TEST(GraphicsPresetTest, ShaderLevelAndRenderTargetsChooseThePresetAndTheAnisotropyStays)
{
    struct Case {
        bool direct3d;
        int psMajor, psMinor, renderTargets;
        const wchar_t* chosen;  // texture downsampling, two detail levels, water reflection, shadow split
        size_t warnings;
    };
    const Case cases[] = {
        {true, 3, 0, 4, L"1 0.700000 0.700000 1 200", 0}, {true, 3, 0, 2, L"2 0.700000 0.700000 1 200", 0},
        {true, 2, 0, 3, L"1 0.500000 0.500000 1 200", 0}, {true, 2, 0, 1, L"1 0.300000 0.300000 0 200", 0},
        {true, 1, 4, 4, L"1 0.500000 0.500000 1 200", 1}, {false, 0, 0, 0, L"- - - - -", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.psMajor << "." << c.psMinor << " targets " << c.renderTargets);
        CScratchStore scratch(L"Software\\TarnholdTests\\Preset");
        scratch.store.SetInt(L"Engine/Graphics/Options/TextureAnizotropy", 8);
        CFixedHardwareFacts facts;
        if (c.direct3d)
            facts.SetAdapter("Adapter", c.psMajor, c.psMinor, 2, 0);
        facts.adapter.renderTargets = static_cast<DWORD>(c.renderTargets);
        CCapturedPrompt prompt;

        ApplyDefaultQuality(facts, prompt, scratch.store);

        EXPECT_EQ(scratch.Text(L"Engine/Graphics/Options/TextureDownsampling") + L" " +
                      scratch.Text(L"PerfomanceOptions/GrassFarPlaneMultiplier") + L" " +
                      scratch.Text(L"PerfomanceOptions/ReflectionFarplane") + L" " +
                      scratch.Text(L"PerfomanceOptions/WaterReflection") + L" " +
                      scratch.Text(L"Engine/Graphics/GlobalLighting/SMSettings/ShadowMapFarPlane3"),
                  c.chosen);
        EXPECT_EQ(scratch.Text(L"PerfomanceOptions/PlayersFarplaneCoeff"), L"-");
        EXPECT_EQ(scratch.Text(L"Engine/Graphics/Options/TextureAnizotropy"), L"8");
        EXPECT_EQ(prompt.messages.size(), c.warnings);
    }
}

} // namespace
