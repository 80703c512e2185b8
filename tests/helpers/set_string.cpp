// Replaces string-table entries of an executable's resources, so tests can
// run the launcher as a deployment with other texts would be built:
//
//   set_string.exe HEXPATH LANGUAGE ENTRY HEXTEXT [ENTRY HEXTEXT]...
//
// Exit status 0 written, 1 failed.

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "tests/helpers/utf8_text.h"

namespace {

const int kBlockEntries = 16;

// The block's sixteen counted strings.
bool ReadBlock(const std::wstring& exe, WORD language, WORD block, std::vector<std::wstring>& texts)
{
    HMODULE module = ::LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return false;
    HRSRC found = ::FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(block), language);
    bool ok = found != nullptr;
    if (ok) {
        const WCHAR* data = static_cast<const WCHAR*>(::LockResource(::LoadResource(module, found)));
        for (int i = 0; i < kBlockEntries; ++i) {
            texts[i].assign(data + 1, *data);
            data += 1 + *data;
        }
    }
    ::FreeLibrary(module);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 5 || argc % 2 == 0)
        return 2;
    std::wstring exe = WideFromHex(argv[1]);
    WORD language = static_cast<WORD>(std::stoi(argv[2]));

    // Every block is read before the one update that writes them all.
    std::map<WORD, std::vector<std::wstring>> blocks;
    for (int arg = 3; arg + 1 < argc; arg += 2) {
        int entry = std::stoi(argv[arg]);
        WORD block = static_cast<WORD>(entry / kBlockEntries + 1);
        auto found = blocks.find(block);
        if (found == blocks.end()) {
            found = blocks.emplace(block, std::vector<std::wstring>(kBlockEntries)).first;
            if (!ReadBlock(exe, language, block, found->second))
                return 1;
        }
        found->second[entry % kBlockEntries] = WideFromHex(argv[arg + 1]);
    }

    HANDLE update = ::BeginUpdateResourceW(exe.c_str(), FALSE);
    if (!update)
        return 1;
    BOOL written = TRUE;
    for (const auto& [block, texts] : blocks) {
        std::vector<WCHAR> image;
        for (const std::wstring& text : texts) {
            image.push_back(static_cast<WCHAR>(text.size()));
            image.insert(image.end(), text.begin(), text.end());
        }
        written = written && ::UpdateResourceW(update, RT_STRING, MAKEINTRESOURCEW(block), language, image.data(),
                                               static_cast<DWORD>(image.size() * sizeof(WCHAR)));
    }
    return ::EndUpdateResourceW(update, !written) && written ? 0 : 1;
}
