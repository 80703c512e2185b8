#pragma once
// Typed store of REG_SZ texts below the settings key. A name's part before its
// last "/" or "\" is a sub-key path, the rest the value name. Reading a missing
// value writes its default.

#include <windows.h>
#include <string>

#include "support/win_handles.h"

class CSettingsStore {
public:
    CSettingsStore() = default;
    CSettingsStore(const CSettingsStore&) = delete;
    CSettingsStore& operator=(const CSettingsStore&) = delete;

    bool Open(const std::wstring& keyPath);

    std::wstring GetText(const std::wstring& name, const std::wstring& defaultText);
    void SetText(const std::wstring& name, const std::wstring& text);

    bool GetBool(const std::wstring& name, bool defaultValue);
    int GetInt(const std::wstring& name, int defaultValue);
    unsigned GetUnsigned(const std::wstring& name, unsigned defaultValue);
    float GetFloat(const std::wstring& name, float defaultValue);

    void SetBool(const std::wstring& name, bool value);
    void SetInt(const std::wstring& name, int value);
    void SetUnsigned(const std::wstring& name, unsigned value);
    void SetUnsignedLong(const std::wstring& name, unsigned long value);
    void SetFloat(const std::wstring& name, float value);

private:
    std::wstring keyPath_;
    UniqueRegKey key_;
};

// The launcher's one store, opened at start-up.
extern CSettingsStore g_settings;

// Strict readers of the stored text forms: exactly one token, blanks around it.
bool ParseIntText(const std::wstring& text, int& value);
bool ParseUnsignedText(const std::wstring& text, unsigned& value);
bool ParseFloatText(const std::wstring& text, float& value);
