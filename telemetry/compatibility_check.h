#pragma once
// Whether this machine can run the game: the start-up check of the first start
// and the warning-only shader test of the options dialog.

#include <windows.h>

#include "support/user_prompt.h"
#include "telemetry/hardware_facts.h"

// True when start-up may go on. Refuses (after its own message) an adapter
// without pixel shader 2.0; without Direct3D 9 it offers the DirectX download
// page and lets start-up go on.
bool CheckCompatibility();
bool CheckCompatibility(IHardwareFacts& facts, IUserPrompt& prompt);

// Asks whether to open the DirectX download page (Direct3D 9 is missing) and
// opens it on OK.
void OfferDirectXDownload(IUserPrompt& prompt);

// A shader version as one number: major x 10 + minor (3.0 gives 30).
int ShaderLevel(DWORD version);

// The options dialog's test: warns about a pixel shader level below 2.0 and
// never stops anything.
void WarnIfShadersTooOld(DWORD pixelShaderVersion, IUserPrompt& prompt);
