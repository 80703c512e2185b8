// Reads shortcuts and the shell's folders for the tests, texts as hexadecimal
// UTF-8, one per line:
//
//   shell_link.exe folder CSIDL     the folder's path
//   shell_link.exe read HEXPATH     the shortcut's target path, then its description
//
// Exit status 1 when the folder or the shortcut cannot be read.

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <string>

#include "support/known_folders.h"
#include "support/win_handles.h"
#include "tests/helpers/utf8_text.h"

namespace {

void PrintHex(const std::wstring& text)
{
    for (unsigned char c : Utf8(text))
        std::printf("%02x", c);
    std::printf("\n");
}

int PrintShortcut(const std::wstring& path)
{
    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> file;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  link.ReceiveVoid())) ||
        FAILED(link->QueryInterface(IID_IPersistFile, file.ReceiveVoid())) ||
        FAILED(file->Load(path.c_str(), STGM_READ)))
        return 1;
    wchar_t target[MAX_PATH] = {};
    wchar_t description[INFOTIPSIZE] = {};
    if (FAILED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH)) ||
        FAILED(link->GetDescription(description, INFOTIPSIZE)))
        return 1;
    PrintHex(target);
    PrintHex(description);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    std::string command = argv[1];
    if (command == "folder") {
        std::wstring folder = KnownFolderPath(std::stoi(argv[2], nullptr, 0));
        if (folder.empty())
            return 1;
        PrintHex(folder);
        return 0;
    }
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int status = command == "read" ? PrintShortcut(Wide(Unhex(argv[2]))) : 2;
    ::CoUninitialize();
    return status;
}
