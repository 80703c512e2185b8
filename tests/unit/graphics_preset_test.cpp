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
        int psMajor, psMinor;
        DWORD renderTargets;
        const wchar_t* chosen;  // texture downsampling, detail levels, water reflection
        size_t written, warnings;
    };
    const Case cases[] = {
        {true, 3, 0, 4, L"1 0.700000 1", 17, 0}, {true, 3, 0, 2, L"2 0.700000 1", 17, 0},
        {true, 2, 0, 3, L"1 0.500000 1", 17, 0}, {true, 2, 0, 1, L"1 0.300000 0", 17, 0},
        {true, 1, 4, 4, L"1 0.500000 1", 17, 1}, {false, 0, 0, 0, L"  ", 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.psMajor << "." << c.psMinor << " targets " << c.renderTargets);
        CScratchStore scratch(L"Software\\TarnholdTests\\Preset");
        scratch.store.SetInt(L"Engine/Graphics/Options/TextureAnizotropy", 8);
        CFixedHardwareFacts facts;
        if (c.direct3d)
            facts.SetAdapter("Adapter", c.psMajor, c.psMinor, 2, 0);
        facts.adapter.renderTargets = c.renderTargets;
        CCapturedPrompt prompt;

        ApplyDefaultQuality(facts, prompt, scratch.store);

        auto values = scratch.Values();
        EXPECT_EQ(values.size(), c.written);
        EXPECT_EQ(values[L"Engine/Graphics/Options/TextureAnizotropy"], L"8");
        EXPECT_EQ(values[L"Engine/Graphics/Options/TextureDownsampling"] + L" " +
                      values[L"PerfomanceOptions/GrassDensity"] + L" " + values[L"PerfomanceOptions/WaterReflection"],
                  c.chosen);
        // Five detail levels follow the class; the players' distance is not written.
        for (const wchar_t* detail : {L"GrassFarPlaneMultiplier", L"EffectsDensity", L"ObjectsAndEffectsFarplane",
                                      L"ReflectionFarplane"})
            EXPECT_EQ(values[L"PerfomanceOptions/" + std::wstring(detail)], values[L"PerfomanceOptions/GrassDensity"]);
        EXPECT_EQ(values[L"Engine/Graphics/GlobalLighting/SMSettings/SMSize"], c.direct3d ? L"1024" : L"");
        EXPECT_EQ(prompt.messages.size(), c.warnings);
    }
}

} // namespace
