#include "tools/publisher/live_tree.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>

#include "support/win_handles.h"
#include "tools/publisher/live_link.h"
#include "tools/publisher/publish_error.h"
#include "tools/publisher/tree_files.h"

namespace {

const wchar_t kGenerationsSuffix[] = L".generations";
const wchar_t kNewLinkSuffix[] = L".new";
const wchar_t kBuildSuffix[] = L".building";
// Leftovers of the publisher's earlier single-folder layout.
const wchar_t kOldPreviousSuffix[] = L".previous";
const wchar_t* const kOldWorkSuffixes[] = {L".publishing", L".publishing-work"};
const int kGenerationDigits = 6;

bool ParseGeneration(const std::wstring& name, unsigned& generation)
{
    if (name.size() != kGenerationDigits || !std::all_of(name.begin(), name.end(), ::iswdigit))
        return false;
    generation = static_cast<unsigned>(std::wcstoul(name.c_str(), nullptr, 10));
    return true;
}

} // namespace

CLiveTree::CLiveTree(const std::wstring& outputFolder, const std::wstring& serverDirectory)
    : serverDirectory_(serverDirectory),
      link_(outputFolder + L"\\" + serverDirectory),
      newLink_(link_ + kNewLinkSuffix),
      generations_(link_ + kGenerationsSuffix)
{
}

std::wstring CLiveTree::Folder(unsigned generation) const
{
    wchar_t name[16];
    std::swprintf(name, 16, L"%06u", generation);
    return generations_ + L"\\" + name;
}

std::wstring CLiveTree::Build(unsigned generation) const
{
    return Folder(generation) + kBuildSuffix;
}

std::wstring CLiveTree::LinkTarget(unsigned generation) const
{
    std::wstring folder = Folder(generation);
    return serverDirectory_ + kGenerationsSuffix + L"/" + folder.substr(folder.size() - kGenerationDigits);
}

std::vector<unsigned> CLiveTree::Generations() const
{
    std::vector<unsigned> found;
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(::FindFirstFileW((generations_ + L"\\*").c_str(), &data));
    if (!find)
        return found;
    do {
        unsigned generation = 0;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && ParseGeneration(data.cFileName, generation))
            found.push_back(generation);
    } while (::FindNextFileW(find.Get(), &data));
    std::sort(found.begin(), found.end());
    return found;
}

unsigned CLiveTree::LiveGeneration() const
{
    std::wstring target = ReadLink(link_);
    unsigned generation = 0;
    size_t slash = target.find_last_of(L'/');
    if (slash == std::wstring::npos || !ParseGeneration(target.substr(slash + 1), generation))
        return 0;
    return generation;
}

std::wstring CLiveTree::LiveFolder() const
{
    unsigned live = LiveGeneration();
    return live != 0 ? Folder(live) : std::wstring();
}

// A real folder at the link's place (written by the earlier publisher)
// becomes the first generation; the web server misses it only between a
// rename and the link that follows at once, and only this one time.
void CLiveTree::AdoptFolderLayout(std::vector<std::wstring>& repairs)
{
    const std::wstring previous = link_ + kOldPreviousSuffix;
    if (!Exists(link_) && !IsLink(link_) && IsFolder(previous)) {
        if (!::MoveFileExW(previous.c_str(), link_.c_str(), 0))
            ThrowLastError(L"cannot restore the tree " + previous);
        repairs.push_back(L"restored the tree an interrupted publish had moved aside");
    }
    RemoveTree(previous);
    for (const wchar_t* suffix : kOldWorkSuffixes)
        RemoveTree(link_ + suffix);
    if (!IsFolder(link_) || IsLink(link_))
        return;
    std::vector<unsigned> existing = Generations();
    unsigned generation = existing.empty() ? 1 : existing.back() + 1;
    CreateParentFolders(Folder(generation));
    if (!::MoveFileExW(link_.c_str(), Folder(generation).c_str(), 0))
        ThrowLastError(L"cannot move the tree " + link_ + L" into " + Folder(generation));
    MakeLink(link_, LinkTarget(generation));
    repairs.push_back(L"the tree is now served through the link " + link_);
}

std::vector<std::wstring> CLiveTree::Repair()
{
    std::vector<std::wstring> repairs;
    if (IsLink(newLink_)) {
        RemoveLink(newLink_);
        repairs.push_back(L"removed the link of a publish interrupted before its switch");
    }
    AdoptFolderLayout(repairs);
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(::FindFirstFileW((generations_ + L"\\*" + kBuildSuffix).c_str(), &data));
    if (find) {
        do {
            if (!RemoveTree(generations_ + L"\\" + data.cFileName))
                ThrowLastError(L"cannot remove the unfinished generation " + std::wstring(data.cFileName));
            repairs.push_back(L"removed the unfinished generation " + std::wstring(data.cFileName) +
                              L" of an interrupted publish");
        } while (::FindNextFileW(find.Get(), &data));
    }
    find.Reset();
    // A generation beside the live one and the one before it was left by a
    // run killed before its switch or before its clean-up.
    std::vector<unsigned> existing = Generations();
    Prune();
    if (Generations().size() < existing.size())
        repairs.push_back(L"removed generations an interrupted publish left behind");
    // Numbers are never used twice, so no cache can mix two generations.
    next_ = existing.empty() ? 1 : existing.back() + 1;
    return repairs;
}

void CLiveTree::Complete() const
{
    if (!::MoveFileExW(NextBuildFolder().c_str(), NextFolder().c_str(), 0))
        ThrowLastError(L"cannot complete the generation " + NextFolder());
}

void CLiveTree::MakeNextLink() const
{
    RemoveLink(newLink_);
    MakeLink(newLink_, LinkTarget(next_));
}

void CLiveTree::SwitchToNext() const
{
    RenameOver(newLink_, link_);
}

void CLiveTree::Prune() const
{
    unsigned live = LiveGeneration();
    std::vector<unsigned> existing = Generations();
    unsigned previous = 0;
    for (unsigned generation : existing) {
        if (generation < live)
            previous = generation;
    }
    for (unsigned generation : existing) {
        if (generation != live && generation != previous)
            RemoveTree(Folder(generation));
    }
}
