#include "services/registry_keys.h"

#include "services/string_ids.h"
#include "services/string_table.h"

std::wstring MakerKeyPath()
{
    return L"Software\\" + LangText(IDS_MAKER_KEY);
}

std::wstring SettingsKeyPath()
{
    return MakerKeyPath() + L"\\" + LangText(IDS_PRODUCT_KEY);
}

std::wstring LegacyMakerKeyPath()
{
    return L"Software\\" + LangText(IDS_MAKER_FOLDER);
}

std::wstring LegacyKeyPath()
{
    return LegacyMakerKeyPath() + L"\\" + LangText(IDS_PRODUCT_KEY);
}

std::wstring GameKeyPath()
{
    return SettingsKeyPath() + L"\\Game";
}

std::wstring UninstallKeyPath()
{
    return L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + LangText(IDS_PRODUCT_KEY);
}
