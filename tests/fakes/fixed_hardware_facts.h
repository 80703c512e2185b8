#pragma once
// Hardware facts given by a test instead of queried from the platform.

#include <d3d9.h>
#include <string>

#include "telemetry/hardware_facts.h"

class CFixedHardwareFacts : public IHardwareFacts {
public:
    std::string ProcessorBrand() override { return brand; }
    AdapterFacts DefaultAdapter() override { return adapter; }

    // An adapter that Direct3D 9 describes fully.
    void SetAdapter(const std::string& description, int psMajor, int psMinor, int vsMajor, int vsMinor)
    {
        adapter = AdapterFacts();
        adapter.direct3dCreated = true;
        adapter.identifierRead = true;
        adapter.description = description;
        adapter.deviceName = "\\\\.\\DISPLAY1";
        adapter.pixelShaderVersion = D3DPS_VERSION(psMajor, psMinor);
        adapter.vertexShaderVersion = D3DVS_VERSION(vsMajor, vsMinor);
        adapter.capsRead = true;
    }

    std::string brand;
    AdapterFacts adapter;
};
