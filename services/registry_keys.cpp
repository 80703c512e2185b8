#include "services/registry_keys.h"

#include "services/string_table.h"
#include "ui/resources/resource.h"

namespace {

std::wstring Text(UINT id)
{
    return LoadLangString(id);
}

} // namespace

std::wstring MakerKeyPath()
{
    return L"Software\\" + Text(IDS_MAKER_KEY);
}

std::wstring SettingsKeyPath()
{
    return MakerKeyPath() + L"\\" + Text(IDS_PRODUCT_KEY);
}

std::wstring LegacyMakerKeyPath()
{
    return L"Software\\" + Text(IDS_MAKER_FOLDER);
}

std::wstring LegacyKeyPath()
{
    return LegacyMakerKeyPath() + L"\\" + Text(IDS_PRODUCT_KEY);
}

std::wstring GameKeyPath()
{
    return SettingsKeyPath() + L"\\Game";
}

std::wstring UninstallKeyPath()
{
    return L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + Text(IDS_PRODUCT_KEY);
}
