#pragma once
// The served tree as generations: OUTPUT\<dir> is a link to
// OUTPUT\<dir>.generations\<number>, the live generation. A publish builds
// the next generation in a folder of its own, then switches the link in one
// rename; the generation before the live one stays on disk until the next
// publish, so transfers that started from it can finish. Nothing but the
// link tells which generation is live, so a run killed at any point leaves
// the old or the new tree served, never a mix or none.

#include <string>
#include <vector>

class CLiveTree {
public:
    // The link at outputFolder\serverDirectory.
    CLiveTree(const std::wstring& outputFolder, const std::wstring& serverDirectory);

    // Brings an interrupted run's leftovers, and a tree of the earlier
    // single-folder layout, into order. Returns what it did, for the maker.
    std::vector<std::wstring> Repair();

    // The live generation's folder, or empty when nothing is published.
    std::wstring LiveFolder() const;
    // Where the next generation is built, and where it goes when complete.
    std::wstring NextBuildFolder() const { return Build(next_); }
    std::wstring NextFolder() const { return Folder(next_); }

    // Completes the next generation, makes the link to it beside the live
    // one (the tool's "switch" abort point lies after this), and renames it
    // over the live one.
    void Complete() const;
    void MakeNextLink() const;
    void SwitchToNext() const;
    // Deletes generations other than the live one and the one before it.
    void Prune() const;

    const std::wstring& Link() const { return link_; }

private:
    std::wstring Folder(unsigned generation) const;
    std::wstring Build(unsigned generation) const;
    std::wstring LinkTarget(unsigned generation) const;
    std::vector<unsigned> Generations() const;
    unsigned LiveGeneration() const;
    void AdoptFolderLayout(std::vector<std::wstring>& repairs);

    std::wstring serverDirectory_;
    std::wstring link_;
    std::wstring newLink_;
    std::wstring generations_;
    unsigned next_ = 1;
};
