#pragma once
// Registry key paths below HKEY_CURRENT_USER, built from the string table in
// the language current at the moment of the call.

#include <string>

std::wstring SettingsKeyPath();
std::wstring MakerKeyPath();
std::wstring LegacyKeyPath();
std::wstring LegacyMakerKeyPath();
std::wstring GameKeyPath();
std::wstring UninstallKeyPath();
