#include "support/registry_text.h"

#include "support/win_handles.h"

namespace {

DWORD TextBytes(const std::wstring& text)
{
    return static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
}

} // namespace

void SetRegText(HKEY key, const wchar_t* name, const std::wstring& text)
{
    ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), TextBytes(text));
}

void SetRegBytes(HKEY root, const std::wstring& keyPath, const wchar_t* name, const void* data, DWORD bytes)
{
    UniqueRegKey key;
    if (::RegCreateKeyExW(root, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                          key.Receive(), nullptr) != ERROR_SUCCESS)
        return;
    ::RegSetValueExW(key.Get(), name, 0, REG_SZ, static_cast<const BYTE*>(data), bytes);
}

void SetRegText(HKEY root, const std::wstring& keyPath, const wchar_t* name, const std::wstring& text)
{
    SetRegBytes(root, keyPath, name, text.c_str(), TextBytes(text));
}
