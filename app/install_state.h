#pragma once
// The installation record, the machine identifier and their registry values,
// each read or written with its own registry calls.

#include <string>

// True when the recorded installation folder holds this very executable.
// Moves a record found under the older key layout to the current one.
bool IsInstalledHere();

void SetInstallPath(const std::wstring& folder);

// The machine identifier, created on first use and kept from then on.
std::wstring GetMachineId();
