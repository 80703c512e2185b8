#include "tools/publisher/game_scan.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <set>

#include "support/win_handles.h"
#include "tools/publisher/publish_error.h"
#include "update/game_paths.h"

namespace {

const uint64_t kMaxFileSize = 0xFFFFFFFFULL;

int CompareNames(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE);
}

struct NoCaseLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const { return CompareNames(a, b) == CSTR_LESS_THAN; }
};

bool IsLauncherFile(const std::wstring& name, const std::wstring& productKeyWord)
{
    const std::wstring launcherFiles[] = {kDataSourcesName, kServerIndexName, PackageName(kServerIndexName),
                                          kCachedIndexName, FullPackageName(productKeyWord)};
    for (const std::wstring& launcherFile : launcherFiles) {
        if (CompareNames(name, launcherFile) == CSTR_EQUAL)
            return true;
    }
    return false;
}

void Walk(const std::wstring& folder, const std::wstring& prefix, const std::wstring& productKeyWord, GameScan& scan)
{
    WIN32_FIND_DATAW found;
    UniqueFindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!find)
        ThrowLastError(L"cannot read the folder " + folder);
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        std::wstring path = folder + L"\\" + name;
        std::wstring relative = prefix + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            Walk(path, relative + L"\\", productKeyWord, scan);
            continue;
        }
        if (prefix.empty() && IsLauncherFile(name, productKeyWord)) {
            scan.skipped.push_back(relative);
            continue;
        }
        GameFile file;
        file.name = relative;
        file.path = path;
        file.size = static_cast<uint64_t>(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
        file.fileTime = static_cast<uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32 |
                        found.ftLastWriteTime.dwLowDateTime;
        scan.files.push_back(file);
    } while (::FindNextFileW(find.Get(), &found));
    if (::GetLastError() != ERROR_NO_MORE_FILES)
        ThrowLastError(L"cannot read the folder " + folder);
}

void CheckFile(const GameFile& file)
{
    if (file.size > kMaxFileSize)
        throw PublishError(file.name + L" is 4 GiB or larger, more than the launcher can fetch");
    if (!IsSafeEntryName(file.name))
        throw PublishError(file.name + L" is a name the launcher refuses to write");
    // The launcher builds local paths in buffers of 260 characters, with
    // ".\" in front and ".zip" behind for the package.
    if (GamePath(L".", PackageName(file.name)).size() >= MAX_PATH)
        throw PublishError(file.name + L" is a name too long for the launcher's paths");
}

// On a player's computer a file's package downloads beside it, named like the
// file with ".zip" appended, and is deleted after unpacking: a game file of
// that name would be overwritten and then lost.
void CheckPackagesMissGameFiles(const std::vector<GameFile>& files)
{
    std::set<std::wstring, NoCaseLess> names;
    for (const GameFile& file : files)
        names.insert(file.name);
    for (const GameFile& file : files) {
        const std::wstring package = PackageName(file.name);
        if (names.count(package) != 0)
            throw PublishError(file.name + L" and " + package + L" cannot both be published: on a player's "
                               L"computer the package of the first downloads over the second");
    }
}

// Every path of the served tree belongs to one thing: a package, a folder,
// or one of the launcher's own files. Two game names that the launcher or a
// server would take for one (the same but for letter case, or once blanks
// and "+" became "_") claim the same path.
class ServedPaths {
public:
    explicit ServedPaths(const std::wstring& productKeyWord)
    {
        const std::wstring launcherFiles[] = {kDataSourcesName, PackageName(kServerIndexName),
                                              FullPackageName(productKeyWord)};
        for (const std::wstring& name : launcherFiles)
            claims_.emplace(name, Claim{L"the launcher's own " + name, false});
    }

    void Add(const GameFile& file)
    {
        std::wstring path = ServedName(PackageName(file.name));
        for (size_t slash = path.find(L'/'); slash != std::wstring::npos; slash = path.find(L'/', slash + 1))
            Take(path.substr(0, slash), file.name, true);
        Take(path, file.name, false);
    }

private:
    struct Claim {
        std::wstring owner;
        bool folder;
    };

    void Take(const std::wstring& path, const std::wstring& owner, bool folder)
    {
        auto [it, added] = claims_.emplace(path, Claim{owner, folder});
        if (!added && !(folder && it->second.folder))
            throw PublishError(it->second.owner + L" and " + owner +
                               L" would be the same file for the launcher or the update server");
    }

    std::map<std::wstring, Claim, NoCaseLess> claims_;
};

} // namespace

GameScan ScanGameFolder(const std::wstring& gameFolder, const std::wstring& productKeyWord)
{
    GameScan scan;
    Walk(gameFolder, L"", productKeyWord, scan);
    std::sort(scan.files.begin(), scan.files.end(),
              [](const GameFile& a, const GameFile& b) { return NoCaseLess()(a.name, b.name); });
    ServedPaths served(productKeyWord);
    for (const GameFile& file : scan.files) {
        CheckFile(file);
        served.Add(file);
    }
    CheckPackagesMissGameFiles(scan.files);
    return scan;
}
