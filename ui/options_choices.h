#pragma once
// What the options dialog offers for an adapter, and how a chosen item maps to
// the stored value and back. Plain functions of the adapter's facts.

#include <windows.h>
#include <string>
#include <vector>

#include "telemetry/hardware_facts.h"
#include "ui/game_options.h"

// One entry of the resolution list: a size the adapter shows at 32 bits.
struct ResolutionChoice {
    std::wstring text;  // "1920x1080"
    int width;
    int height;
};

// Modes at least 1024 pixels wide, one per size, by ascending width (then
// height).
std::vector<ResolutionChoice> ResolutionChoices(const std::vector<DisplayMode>& modes);

// The listed size nearest a stored one (the sum of the differences of width
// and height; the first of equals), -1 for an empty list. A stored size the
// adapter lacks, such as a scaled screen's 1536x864, shows its neighbour.
int NearestResolution(const std::vector<ResolutionChoice>& choices, int width, int height);

// A stored detail level within 0..1; what is not a number reads as 1.
float DetailFraction(float stored);

// String-table entries of the lighting list: "Low", with three or more render
// targets "Medium", and with shader level 3.0 also "High".
std::vector<UINT> LightingEntries(int shaderLevel, DWORD renderTargets);
// The item shown for a stored lighting mode; a mode the list lacks shows "Low".
int LightingItem(int lightingMode, int shaderLevel);

struct ShadowSetting {
    int mapSize;
    int filterMode;
};
// String-table entries of the shadows list: "Very low", "Low", and with
// shader level 3.0 "Medium", "High", "Very high".
std::vector<UINT> ShadowEntries(int shaderLevel);
ShadowSetting ShadowSettingAt(int item);
int ShadowItem(int mapSize, int filterMode, int shaderLevel);

// String-table entries of the texture list and the downsampling each stands for.
std::vector<UINT> TextureEntries();
int TextureDownsamplingAt(int item);
int TextureItem(int downsampling);

// Anisotropy values offered: none below a maximum of 2, else 0 ("No") and the
// powers of two up to the maximum.
std::vector<int> AnisotropyValues(DWORD maxAnisotropy);

// The overall detail level: the mean of the six detail levels, truncated.
int OverallDetail(const float (&levels)[option_keys::kDetailLevelCount]);
