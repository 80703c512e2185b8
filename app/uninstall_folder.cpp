#include "app/uninstall_folder.h"

#include <windows.h>

#include <stdexcept>
#include <vector>

#include "app/self_update_stages.h"
#include "services/install_state.h"
#include "services/string_ids.h"
#include "services/string_table.h"
#include "support/folder_tree.h"
#include "support/known_folders.h"
#include "support/module_path.h"
#include "support/win_handles.h"
#include "update/file_index.h"
#include "update/game_paths.h"

namespace {

const wchar_t kScreenshotsFolder[] = L"Screenshots";

bool IsKeptName(const std::wstring& name)
{
    return name.empty() || name[0] == L'.';
}

// The running executable goes later, through the clean-up run.
void DeleteUnlessRunning(const std::wstring& path)
{
    if (!SamePathNoCase(FullPath(path), ModuleFilePath()))
        ::DeleteFileW(path.c_str());
}

void RemoveWholeContents(const std::wstring& folder)
{
    std::vector<WIN32_FIND_DATAW> entries;
    WIN32_FIND_DATAW found;
    UniqueFindHandle find(::FindFirstFileW(GamePath(folder, L"*").c_str(), &found));
    if (!find)
        return;
    do {
        if (!IsKeptName(found.cFileName))
            entries.push_back(found);
    } while (::FindNextFileW(find.Get(), &found));

    for (const WIN32_FIND_DATAW& entry : entries) {
        std::wstring path = GamePath(folder, entry.cFileName);
        // The running executable goes later, through the clean-up run.
        if (!IsModuleFile(path))
            DeleteListedEntry(path, entry.dwFileAttributes);
    }
}

// The folders of an index name, deepest first, go when they are empty.
void RemoveEmptyFoldersOf(const std::wstring& folder, std::wstring name)
{
    for (;;) {
        size_t separator = name.find_last_of(L"\\/");
        if (separator == std::wstring::npos)
            return;
        name.resize(separator);
        ::RemoveDirectoryW(GamePath(folder, name).c_str());
    }
}

// The entries of an index file in the folder; a damaged index gives what was
// read before the damage.
std::vector<IndexEntry> IndexEntries(const std::wstring& folder, const wchar_t* indexName)
{
    FileIndex index;
    try {
        index.ReadFromFile(GamePath(folder, indexName));
    } catch (const std::runtime_error&) {
        // The digest provider failed while verifying: the entries read stand.
    }
    return index.Entries();
}

// Removes the game files the launcher recorded as installed, the packages
// of both indexes, the update files and the self-update copy.
void RemoveLauncherFiles(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    for (const IndexEntry& entry : IndexEntries(folder, kCachedIndexName)) {
        names.push_back(entry.name);
        names.push_back(PackageName(entry.name));
    }
    for (const IndexEntry& entry : IndexEntries(folder, kServerIndexName))
        names.push_back(PackageName(entry.name));
    names.push_back(FullPackageName(LangText(IDS_SERVER_DIRECTORY)));
    names.push_back(ModuleFileName() + kCopySuffix);
    for (const wchar_t* updateFile : {kDataSourcesName, kServerIndexName, kCachedIndexName, kPackageJournalName})
        names.push_back(updateFile);

    for (const std::wstring& name : names) {
        // An index is data from the server: it may name nothing outside.
        if (IsKeptName(name) || !IsSafeEntryName(name))
            continue;
        DeleteUnlessRunning(GamePath(folder, name));
        RemoveEmptyFoldersOf(folder, name);
    }
    ::RemoveDirectoryW(GamePath(folder, kScreenshotsFolder).c_str());
}

} // namespace

FolderRemoval ChooseFolderRemoval(const std::wstring& folder)
{
    std::wstring recorded = RecordedInstallFolder();
    if (recorded.empty() || !SamePathNoCase(recorded, FullPath(folder)) || !IsInstallFolderOwned() ||
        IsSystemFolder(folder))
        return FolderRemoval::LauncherFilesOnly;
    return FolderRemoval::WholeContents;
}

void RemoveFolderContents(const std::wstring& folder, FolderRemoval removal)
{
    if (removal == FolderRemoval::WholeContents)
        RemoveWholeContents(folder);
    else
        RemoveLauncherFiles(folder);
}
