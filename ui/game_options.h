#pragma once
// Names of the game's options in the settings store. The game reads them too,
// so the names (spelling included) are fixed.

#include "services/settings_store.h"

namespace option_keys {

const wchar_t kWindowed[] = L"Engine/Graphics/Windowed";
const wchar_t kWindowedFullscreen[] = L"Engine/Graphics/WindowedFullscreen";
const wchar_t kScreenWidth[] = L"Engine/Graphics/ScreenWidth";
const wchar_t kScreenHeight[] = L"Engine/Graphics/ScreenHeight";
const wchar_t kRefresh[] = L"Engine/Graphics/Refresh";
const wchar_t kLightingMode[] = L"Engine/Graphics/GlobalLighting/GlobalLightingMode";
const wchar_t kFilterMode[] = L"Engine/Graphics/GlobalLighting/FilterMode";
const wchar_t kShadowMapSize[] = L"Engine/Graphics/GlobalLighting/SMSettings/SMSize";
const wchar_t kTextureDownsampling[] = L"Engine/Graphics/Options/TextureDownsampling";
const wchar_t kTextureAnisotropy[] = L"Engine/Graphics/Options/TextureAnizotropy";
const wchar_t kTrilinearFiltering[] = L"Engine/Graphics/Options/TrilinearFiltering";
const wchar_t kSimplifiedTerrain[] = L"Engine/Graphics/Options/OnlyOneTerrainTexture";
const wchar_t kSoundEnabled[] = L"Sound/SoundEnabled";
const wchar_t kWaterReflection[] = L"PerfomanceOptions/WaterReflection";
const wchar_t kOptionsVisited[] = L"PerfomanceOptions/OptionsVisited";
const wchar_t kSuggestCount[] = L"PerfomanceOptions/SuggestCount";
const wchar_t kHashCheckAfterCrash[] = L"Debug/HashCheckAfterCrash";
const wchar_t kHttpPreference[] = L"Debug\\HttpPreference";

// The detail levels, 0..1, in the order they are shown and saved.
enum DetailLevel {
    kGrassFarPlane,
    kGrassDensity,
    kEffectsDensity,
    kObjectsFarPlane,
    kReflectionFarPlane,
    kPlayersFarPlane,
    kDetailLevelCount
};
extern const wchar_t* const kDetailLevels[kDetailLevelCount];

} // namespace option_keys

const int kDefaultTextureDownsampling = 1;
const int kDefaultShadowMapSize = 1024;

// What the richer choices need from the adapter: pixel shader 3.0 (a shader
// level of 30) and three simultaneous render targets.
const int kModernShaderLevel = 30;
const DWORD kFullRenderTargets = 3;

// The shadow split distances the game starts from: the number of frustums and
// their far planes.
void WriteShadowSplits(CSettingsStore& store);
