#include "ui/game_options.h"

#include <string>

namespace option_keys {

const wchar_t* const kDetailLevels[kDetailLevelCount] = {
    L"PerfomanceOptions/GrassFarPlaneMultiplier", L"PerfomanceOptions/GrassDensity",
    L"PerfomanceOptions/EffectsDensity",          L"PerfomanceOptions/ObjectsAndEffectsFarplane",
    L"PerfomanceOptions/ReflectionFarplane",      L"PerfomanceOptions/PlayersFarplaneCoeff",
};

} // namespace option_keys

namespace {

const wchar_t kShadowFrustums[] = L"Engine/Graphics/GlobalLighting/SMSettings/NumShadowFrustums";
const wchar_t kFarPlanePrefix[] = L"Engine/Graphics/GlobalLighting/SMSettings/ShadowMapFarPlane";
const unsigned long kFarPlanes[] = {15, 40, 100, 200};

} // namespace

void WriteShadowSplits(CSettingsStore& store)
{
    const unsigned long count = sizeof(kFarPlanes) / sizeof(kFarPlanes[0]);
    store.SetUnsignedLong(kShadowFrustums, count);
    for (unsigned long i = 0; i < count; ++i)
        store.SetUnsignedLong(kFarPlanePrefix + std::to_wstring(i), kFarPlanes[i]);
}
