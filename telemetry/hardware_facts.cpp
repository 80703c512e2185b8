#include "telemetry/hardware_facts.h"

#include <cpuid.h>
#include <d3d9.h>
#include <cstring>

#include "support/win_handles.h"

namespace {

const unsigned kBrandFunctions[] = {0x80000002, 0x80000003, 0x80000004};
const size_t kBrandBytes = 48;
// The version the launcher was built against: the Direct3D 9.0c runtime.
const UINT kDirect3DSdkVersion = 32;

} // namespace

std::string CPlatformHardwareFacts::ProcessorBrand()
{
    // The extended functions are used without asking whether the processor has
    // them; every processor the game runs on does.
    char brand[kBrandBytes + 1] = {};
    for (size_t i = 0; i < 3; ++i) {
        unsigned registers[4] = {};
        __cpuid(kBrandFunctions[i], registers[0], registers[1], registers[2], registers[3]);
        std::memcpy(brand + 16 * i, registers, sizeof(registers));
    }
    return brand;
}

AdapterFacts CPlatformHardwareFacts::DefaultAdapter()
{
    AdapterFacts facts;
    ComPtr<IDirect3D9> direct3d;
    *direct3d.Receive() = ::Direct3DCreate9(kDirect3DSdkVersion);
    if (!direct3d)
        return facts;
    facts.direct3dCreated = true;

    D3DADAPTER_IDENTIFIER9 identifier;
    std::memset(&identifier, 0, sizeof(identifier));
    if (SUCCEEDED(direct3d->GetAdapterIdentifier(D3DADAPTER_DEFAULT, 0, &identifier))) {
        facts.identifierRead = true;
        facts.description.assign(identifier.Description, strnlen(identifier.Description, MAX_DEVICE_IDENTIFIER_STRING - 1));
        facts.deviceName.assign(identifier.DeviceName, strnlen(identifier.DeviceName, sizeof(identifier.DeviceName) - 1));
    }

    D3DCAPS9 caps;
    std::memset(&caps, 0, sizeof(caps));
    if (SUCCEEDED(direct3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps))) {
        facts.capsRead = true;
        facts.pixelShaderVersion = caps.PixelShaderVersion;
        facts.vertexShaderVersion = caps.VertexShaderVersion;
        facts.maxAnisotropy = caps.MaxAnisotropy;
        facts.renderTargets = caps.NumSimultaneousRTs;
    }

    UINT modeCount = direct3d->GetAdapterModeCount(D3DADAPTER_DEFAULT, D3DFMT_X8R8G8B8);
    for (UINT i = 0; i < modeCount; ++i) {
        D3DDISPLAYMODE mode = {};
        if (SUCCEEDED(direct3d->EnumAdapterModes(D3DADAPTER_DEFAULT, D3DFMT_X8R8G8B8, i, &mode)))
            facts.displayModes.push_back({mode.Width, mode.Height, mode.RefreshRate});
    }
    return facts;
}
