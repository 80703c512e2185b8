#pragma once
// The graphics options installation stores once, chosen from what the video
// adapter can do.

#include "services/settings_store.h"
#include "support/user_prompt.h"
#include "telemetry/hardware_facts.h"

// This machine's adapter into the launcher's store; warns (and goes on) when
// the adapter lacks pixel shader 2.0. Without Direct3D 9 nothing is written.
void ApplyDefaultQuality();
void ApplyDefaultQuality(IHardwareFacts& facts, IUserPrompt& prompt, CSettingsStore& store);
