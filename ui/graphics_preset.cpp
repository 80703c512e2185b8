#include "ui/graphics_preset.h"

#include "telemetry/compatibility_check.h"
#include "ui/game_options.h"

namespace {

// Detail levels of the three adapter classes, weakest first.
const float kClassDetail[] = {0.3f, 0.5f, 0.7f};

struct Preset {
    int adapterClass;
    int textureDownsampling;
};

Preset ChoosePreset(int shaderLevel, DWORD renderTargets)
{
    bool fullTargets = renderTargets >= kFullRenderTargets;
    if (shaderLevel >= kModernShaderLevel)
        return {2, fullTargets ? kDefaultTextureDownsampling : 2};
    return {fullTargets ? 1 : 0, kDefaultTextureDownsampling};
}

} // namespace

void ApplyDefaultQuality()
{
    CPlatformHardwareFacts facts;
    CDesktopPrompt prompt;
    ApplyDefaultQuality(facts, prompt, g_settings);
}

void ApplyDefaultQuality(IHardwareFacts& facts, IUserPrompt& prompt, CSettingsStore& store)
{
    AdapterFacts adapter = facts.DefaultAdapter();
    if (!adapter.direct3dCreated)
        return;
    WarnIfShadersTooOld(adapter.pixelShaderVersion, prompt);
    Preset preset = ChoosePreset(ShaderLevel(adapter.pixelShaderVersion), adapter.renderTargets);

    using namespace option_keys;
    store.SetInt(kLightingMode, 0);
    store.SetInt(kFilterMode, 0);
    store.SetInt(kShadowMapSize, kDefaultShadowMapSize);
    store.SetInt(kTextureDownsampling, preset.textureDownsampling);
    // The player's anisotropy stays; a missing one gets its default.
    store.GetInt(kTextureAnisotropy, 0);
    store.SetBool(kTrilinearFiltering, false);
    WriteShadowSplits(store);

    // The players' draw distance keeps what it has.
    for (int level = kGrassFarPlane; level < kPlayersFarPlane; ++level)
        store.SetFloat(kDetailLevels[level], kClassDetail[preset.adapterClass]);
    store.SetBool(kWaterReflection, preset.adapterClass != 0);
}
