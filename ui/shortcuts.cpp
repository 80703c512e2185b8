#include "ui/shortcuts.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <vector>

#include "services/string_ids.h"
#include "services/string_table.h"
#include "support/folder_path.h"
#include "support/known_folders.h"
#include "support/win_handles.h"

namespace {

const wchar_t kQuickLaunchFolder[] = L"\\Microsoft\\Internet Explorer\\Quick Launch";
const wchar_t kScreenshotsFolder[] = L"Screenshots";
const wchar_t kLinkExtension[] = L".lnk";

struct WebLink {
    UINT name;
    UINT address;
};
const WebLink kWebLinks[] = {{IDS_SITE_LINK_NAME, IDS_SITE_URL},
                             {IDS_LINK2_NAME, IDS_LINK2_URL},
                             {IDS_LINK3_NAME, IDS_LINK3_URL},
                             {IDS_LINK4_NAME, IDS_LINK4_URL}};

std::wstring LinkPath(const std::wstring& folder, const std::wstring& name)
{
    return folder.empty() ? std::wstring() : folder + L"\\" + name + kLinkExtension;
}

std::wstring MakerMenuFolder()
{
    std::wstring programs = KnownFolderPath(CSIDL_PROGRAMS);
    return programs.empty() ? programs : programs + L"\\" + LangText(IDS_MAKER_FOLDER);
}

std::wstring ProductMenuFolder()
{
    std::wstring maker = MakerMenuFolder();
    return maker.empty() ? maker : maker + L"\\" + LangText(IDS_PRODUCT_NAME);
}

std::wstring DesktopLink()
{
    return LinkPath(KnownFolderPath(CSIDL_DESKTOPDIRECTORY), LangText(IDS_PRODUCT_NAME));
}

std::wstring QuickLaunchLink()
{
    std::wstring appData = KnownFolderPath(CSIDL_APPDATA);
    return LinkPath(appData.empty() ? appData : appData + kQuickLaunchFolder, LangText(IDS_PRODUCT_NAME));
}

// Web links whose name entry holds more than a placeholder character.
std::vector<WebLink> UsedWebLinks()
{
    std::vector<WebLink> used;
    for (const WebLink& link : kWebLinks) {
        if (LangText(link.name).size() > 1)
            used.push_back(link);
    }
    return used;
}

// Saves a shortcut whose target `aim` sets on the link.
template <typename Aim>
void SaveLink(const std::wstring& linkPath, const std::wstring& description, Aim aim)
{
    if (linkPath.empty())
        return;
    ComPtr<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  link.ReceiveVoid())))
        return;
    if (FAILED(aim(link.Get())) || FAILED(link->SetDescription(description.c_str())))
        return;
    ComPtr<IPersistFile> file;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.ReceiveVoid())))
        file->Save(linkPath.c_str(), TRUE);
}

void SavePathLink(const std::wstring& linkPath, const std::wstring& target, const std::wstring& description)
{
    SaveLink(linkPath, description, [&](IShellLinkW* link) { return link->SetPath(target.c_str()); });
}

void SaveFolderLink(const std::wstring& linkPath, const std::wstring& folder, const std::wstring& description)
{
    UniqueItemIdList items;
    if (FAILED(::SHParseDisplayName(folder.c_str(), nullptr, items.Receive(), 0, nullptr)))
        return;
    SaveLink(linkPath, description, [&](IShellLinkW* link) { return link->SetIDList(items.Get()); });
}

void CreateStartMenuShortcuts(const std::wstring& launcherPath, const std::wstring& installFolder)
{
    std::wstring menu = ProductMenuFolder();
    if (menu.empty() || CreateFolderPath(menu.c_str()) != 0)
        return;
    std::wstring product = LangText(IDS_PRODUCT_NAME);
    SavePathLink(LinkPath(menu, product), launcherPath, product);

    std::wstring screenshots = installFolder + L"\\" + kScreenshotsFolder;
    std::wstring screenshotsName = LangText(IDS_SCREENSHOTS_FOLDER);
    if (CreateFolderPath(screenshots.c_str()) == 0)
        SaveFolderLink(LinkPath(menu, screenshotsName), screenshots, screenshotsName);

    for (const WebLink& link : UsedWebLinks()) {
        std::wstring name = LangText(link.name);
        SavePathLink(LinkPath(menu, name), LangText(link.address), name);
    }
}

void DeleteLink(const std::wstring& linkPath)
{
    if (!linkPath.empty())
        ::DeleteFileW(linkPath.c_str());
}

} // namespace

void CreateShortcuts(const ShortcutChoice& choice, const std::wstring& launcherPath,
                     const std::wstring& installFolder)
{
    std::wstring product = LangText(IDS_PRODUCT_NAME);
    if (choice.desktop)
        SavePathLink(DesktopLink(), launcherPath, product);
    if (choice.quickLaunch)
        SavePathLink(QuickLaunchLink(), launcherPath, product);
    if (choice.startMenu)
        CreateStartMenuShortcuts(launcherPath, installFolder);
}

void RemoveShortcuts()
{
    DeleteLink(DesktopLink());
    DeleteLink(QuickLaunchLink());

    std::wstring menu = ProductMenuFolder();
    if (menu.empty())
        return;
    DeleteLink(LinkPath(menu, LangText(IDS_PRODUCT_NAME)));
    DeleteLink(LinkPath(menu, LangText(IDS_SCREENSHOTS_FOLDER)));
    for (const WebLink& link : UsedWebLinks())
        DeleteLink(LinkPath(menu, LangText(link.name)));
    // Only empty folders go: the maker's folder may hold its other games.
    ::RemoveDirectoryW(menu.c_str());
    ::RemoveDirectoryW(MakerMenuFolder().c_str());
}
