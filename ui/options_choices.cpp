#include "ui/options_choices.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "services/string_ids.h"

namespace {

const int kMinResolutionWidth = 1024;

const ShadowSetting kShadowSettings[] = {{512, 0}, {1024, 0}, {1024, 1}, {1024, 2}, {2048, 2}};
enum ShadowItemIndex { kShadowVeryLow, kShadowLow, kShadowMedium, kShadowHigh, kShadowVeryHigh };

const UINT kTextureEntries[] = {IDS_QUALITY_VERY_LOW, IDS_QUALITY_LOW, IDS_QUALITY_MEDIUM, IDS_QUALITY_HIGH};
const int kTextureDownsampling[] = {4, 2, 1, 0};
const int kTextureItemCount = sizeof(kTextureDownsampling) / sizeof(kTextureDownsampling[0]);

// The mean's factor: a sixth rounded up, so six equal levels give that level.
const float kSixth = 0.16666667f;

} // namespace

std::vector<ResolutionChoice> ResolutionChoices(const std::vector<DisplayMode>& modes)
{
    std::vector<ResolutionChoice> choices;
    for (const DisplayMode& mode : modes) {
        int width = static_cast<int>(mode.width);
        int height = static_cast<int>(mode.height);
        if (width < kMinResolutionWidth)
            continue;
        bool listed = std::any_of(choices.begin(), choices.end(), [&](const ResolutionChoice& choice) {
            return choice.width == width && choice.height == height;
        });
        if (!listed)
            choices.push_back({std::to_wstring(width) + L"x" + std::to_wstring(height), width, height});
    }
    std::sort(choices.begin(), choices.end(), [](const ResolutionChoice& a, const ResolutionChoice& b) {
        return a.width != b.width ? a.width < b.width : a.height < b.height;
    });
    return choices;
}

int NearestResolution(const std::vector<ResolutionChoice>& choices, int width, int height)
{
    int nearest = -1;
    long long nearestDistance = 0;
    for (size_t i = 0; i < choices.size(); ++i) {
        long long distance = std::llabs(static_cast<long long>(choices[i].width) - width) +
                             std::llabs(static_cast<long long>(choices[i].height) - height);
        if (nearest < 0 || distance < nearestDistance) {
            nearest = static_cast<int>(i);
            nearestDistance = distance;
        }
    }
    return nearest;
}

float DetailFraction(float stored)
{
    if (stored != stored)
        return 1.0f;
    return std::clamp(stored, 0.0f, 1.0f);
}

std::vector<UINT> LightingEntries(int shaderLevel, DWORD renderTargets)
{
    std::vector<UINT> entries = {IDS_QUALITY_LOW};
    if (renderTargets < kFullRenderTargets)
        return entries;
    entries.push_back(IDS_QUALITY_MEDIUM);
    if (shaderLevel >= kModernShaderLevel)
        entries.push_back(IDS_QUALITY_HIGH);
    return entries;
}

int LightingItem(int lightingMode, int shaderLevel)
{
    if (lightingMode == 1 || (lightingMode == 2 && shaderLevel >= kModernShaderLevel))
        return lightingMode;
    return 0;
}

std::vector<UINT> ShadowEntries(int shaderLevel)
{
    std::vector<UINT> entries = {IDS_QUALITY_VERY_LOW, IDS_QUALITY_LOW};
    if (shaderLevel >= kModernShaderLevel)
        entries.insert(entries.end(), {IDS_QUALITY_MEDIUM, IDS_QUALITY_HIGH, IDS_QUALITY_VERY_HIGH});
    return entries;
}

ShadowSetting ShadowSettingAt(int item)
{
    return kShadowSettings[std::clamp(item, 0, static_cast<int>(kShadowVeryHigh))];
}

int ShadowItem(int mapSize, int filterMode, int shaderLevel)
{
    bool modern = shaderLevel >= kModernShaderLevel;
    if (mapSize == 1024 && filterMode == 0)
        return kShadowLow;
    if (mapSize == 1024 && modern && (filterMode == 1 || filterMode == 2))
        return filterMode == 1 ? kShadowMedium : kShadowHigh;
    if (mapSize >= 2048 && modern)
        return kShadowVeryHigh;
    return kShadowVeryLow;
}

std::vector<UINT> TextureEntries()
{
    return std::vector<UINT>(std::begin(kTextureEntries), std::end(kTextureEntries));
}

int TextureDownsamplingAt(int item)
{
    return kTextureDownsampling[std::clamp(item, 0, kTextureItemCount - 1)];
}

int TextureItem(int downsampling)
{
    for (int item = 1; item < kTextureItemCount; ++item) {
        if (kTextureDownsampling[item] == downsampling)
            return item;
    }
    return 0;
}

std::vector<int> AnisotropyValues(DWORD maxAnisotropy)
{
    std::vector<int> values;
    if (maxAnisotropy < 2)
        return values;
    values.push_back(0);
    for (long long value = 2; value <= maxAnisotropy && value <= INT_MAX; value *= 2)
        values.push_back(static_cast<int>(value));
    return values;
}

int OverallDetail(const float (&levels)[option_keys::kDetailLevelCount])
{
    float sum = 0;
    for (float level : levels)
        sum += level;
    return static_cast<int>(sum * kSixth);
}
