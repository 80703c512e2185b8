#pragma once
// The hardware description of the configuration report: processor and
// display adapter names, percent-encoded as the report server receives them.

#include <string>

#include "telemetry/hardware_facts.h"

// Texts sent instead of the adapter's name when Direct3D 9 cannot tell it.
extern const char kNoDirect3DText[];
extern const char kNoAdapterIdentifierText[];

// The brand string without its leading blanks, percent-encoded.
std::string GetProcessorName(IHardwareFacts& facts);

// The adapter's description in UTF-8, or one of the two failure texts;
// percent-encoded either way.
std::string GetAdapterName(IHardwareFacts& facts);

// "cpu=" processor "&gfx=" adapter "&guid=" identifier. The identifier is the
// installation identifier as reports carry it (upper case, ANSI); it is
// percent-encoded here.
std::string BuildConfigurationReport(IHardwareFacts& facts, const std::string& identifier);
