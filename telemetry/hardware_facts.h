#pragma once
// The platform facts the hardware survey, the compatibility check and the
// graphics options rest on: the processor's brand string and the default
// display adapter as Direct3D 9 sees it. One small interface, so tests can describe any adapter while the
// launcher queries the platform anew on every call.

#include <windows.h>
#include <string>
#include <vector>

// A display mode of the adapter in the 32-bit X8R8G8B8 format.
struct DisplayMode {
    UINT width = 0;
    UINT height = 0;
    UINT refreshRate = 0;
};

// What Direct3D 9 says about the default adapter. The records behind it are
// zeroed before each query, so a failed capability query reads as version 0.0.
struct AdapterFacts {
    bool direct3dCreated = false;  // Direct3DCreate9 gave an object
    bool identifierRead = false;   // GetAdapterIdentifier succeeded
    std::string description;       // ANSI, at most 511 bytes
    std::string deviceName;        // ANSI
    DWORD pixelShaderVersion = 0;  // Direct3D version word: major in bits 8-15, minor in bits 0-7
    DWORD vertexShaderVersion = 0;
    bool capsRead = false;         // GetDeviceCaps succeeded for the hardware device
    DWORD maxAnisotropy = 0;
    DWORD renderTargets = 0;       // simultaneous render targets
    std::vector<DisplayMode> displayModes;
};

class IHardwareFacts {
public:
    virtual ~IHardwareFacts() = default;
    // The processor's brand string, up to its first zero byte (at most 48 bytes).
    virtual std::string ProcessorBrand() = 0;
    virtual AdapterFacts DefaultAdapter() = 0;
};

// This machine: CPUID brand-string functions and Direct3D 9.
class CPlatformHardwareFacts : public IHardwareFacts {
public:
    std::string ProcessorBrand() override;
    AdapterFacts DefaultAdapter() override;
};

inline int ShaderMajor(DWORD version)
{
    return static_cast<int>((version >> 8) & 0xFF);
}

inline int ShaderMinor(DWORD version)
{
    return static_cast<int>(version & 0xFF);
}
