#include "telemetry/compatibility_check.h"

#include <string>

#include "services/string_ids.h"
#include "services/string_table.h"
#include "support/text_utils.h"

namespace {

// Fixed English texts, outside the string table.
const wchar_t kNoDirect3DQuestion[] = L"Wrong version of DirectX 9c. Go to download page?";
const wchar_t kNoDirect3DCaption[] = L"Error";
const wchar_t kOptionsWarning[] = L"Sorry, your video card is incompatible with our game:( You must upgrade your computer.";
const wchar_t kOptionsWarningCaption[] = L"Compatibility error";
const wchar_t kUnknownAdapter[] = L"Unknown adapter";

const int kRequiredPixelShaderMajor = 2;
const int kRequiredShaderLevel = 20;

std::wstring AdapterLabel(const AdapterFacts& adapter)
{
    if (!adapter.identifierRead)
        return kUnknownAdapter;
    std::wstring label = AnsiToWide(adapter.description.empty() ? adapter.deviceName : adapter.description);
    label.erase(label.find_last_not_of(L' ') + 1);
    return label;
}

void ShowRefusal(const AdapterFacts& adapter, IUserPrompt& prompt)
{
    // Copied at once: every string load reuses one buffer.
    std::wstring format = LoadLangString(IDS_VIDEO_INCOMPATIBLE);
    std::wstring caption = LoadLangString(IDS_PRODUCT_NAME);
    std::wstring text = FormatString(format.c_str(), AdapterLabel(adapter).c_str(),
                                     ShaderMajor(adapter.pixelShaderVersion), ShaderMinor(adapter.pixelShaderVersion),
                                     ShaderMajor(adapter.vertexShaderVersion), ShaderMinor(adapter.vertexShaderVersion));
    prompt.ShowMessage(text, caption, MB_OK | MB_ICONERROR);
}

} // namespace

bool CheckCompatibility()
{
    CPlatformHardwareFacts facts;
    CDesktopPrompt prompt;
    return CheckCompatibility(facts, prompt);
}

bool CheckCompatibility(IHardwareFacts& facts, IUserPrompt& prompt)
{
    AdapterFacts adapter = facts.DefaultAdapter();
    if (!adapter.direct3dCreated) {
        OfferDirectXDownload(prompt);
        return true;
    }
    // Only the pixel shader decides; the vertex shader version is shown, not tested.
    if (ShaderMajor(adapter.pixelShaderVersion) >= kRequiredPixelShaderMajor)
        return true;
    ShowRefusal(adapter, prompt);
    return false;
}

void OfferDirectXDownload(IUserPrompt& prompt)
{
    if (prompt.ShowMessage(kNoDirect3DQuestion, kNoDirect3DCaption, MB_OKCANCEL) == IDOK)
        prompt.OpenAddress(LoadLangString(IDS_DIRECTX_URL));
}

int ShaderLevel(DWORD version)
{
    return ShaderMajor(version) * 10 + ShaderMinor(version);
}

void WarnIfShadersTooOld(DWORD pixelShaderVersion, IUserPrompt& prompt)
{
    if (ShaderLevel(pixelShaderVersion) < kRequiredShaderLevel)
        prompt.ShowMessage(kOptionsWarning, kOptionsWarningCaption, MB_OK);
}
