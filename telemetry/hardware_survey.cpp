#include "telemetry/hardware_survey.h"

#include "support/text_utils.h"

const char kNoDirect3DText[] = "Unable to create IDirect3D9";
const char kNoAdapterIdentifierText[] = "GetAdapterIdentifier failed";

std::string GetProcessorName(IHardwareFacts& facts)
{
    std::string brand = facts.ProcessorBrand();
    size_t first = brand.find_first_not_of(' ');
    return UrlEncode(first == std::string::npos ? "" : brand.c_str() + first);
}

std::string GetAdapterName(IHardwareFacts& facts)
{
    AdapterFacts adapter = facts.DefaultAdapter();
    if (!adapter.direct3dCreated)
        return UrlEncode(kNoDirect3DText);
    if (!adapter.identifierRead)
        return UrlEncode(kNoAdapterIdentifierText);
    return UrlEncode(AnsiToUtf8(adapter.description.c_str()).c_str());
}

std::string BuildConfigurationReport(IHardwareFacts& facts, const std::string& identifier)
{
    return "cpu=" + GetProcessorName(facts) + "&gfx=" + GetAdapterName(facts) + "&guid=" +
           UrlEncode(identifier.c_str());
}
