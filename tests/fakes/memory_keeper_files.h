#pragma once
// The cache keeper's two files in memory, each change a point at which a
// test may pretend the process was killed; a journal record is written in
// two halves, so a kill may also cut one. The index holds "name=version;"
// for each entry, the version being the first byte of its digest.

#include <functional>
#include <string>
#include <vector>

#include "update/cache_keeper.h"

inline std::string NarrowName(const std::wstring& name)
{
    std::string narrow;
    for (wchar_t unit : name)
        narrow += static_cast<char>(unit);
    return narrow;
}

inline IndexEntry KeeperEntry(const std::wstring& name, int version)
{
    IndexEntry entry;
    entry.name = name;
    entry.size = 100;
    entry.md5.fill(static_cast<uint8_t>(version));
    return entry;
}

struct MemoryKeeperFiles : IKeeperFiles {
    bool hasIndex = false;
    std::string index, journal;
    // Called after every change: the instant a kill may come.
    std::function<void()> changed = [] {};

    bool ReadIndex(FileIndex& read) override
    {
        if (!hasIndex)
            return false;
        FileIndex copy;
        for (const IndexEntry& entry : Parse(index))
            copy.Append(entry);
        read = copy;
        return true;
    }
    bool WriteIndex(const FileIndex& written) override
    {
        hasIndex = true;
        index.clear();
        for (const IndexEntry& entry : written.Entries())
            index += NarrowName(entry.name) + "=" + static_cast<char>('0' + entry.md5[0]) + ";";
        changed();
        return true;
    }
    std::string ReadJournal() override { return journal; }
    bool failsToAppend = false;

    bool AppendJournal(const std::string& record) override
    {
        if (failsToAppend)
            return false;
        // Cut in the middle first: a kill during the write.
        journal += record.substr(0, record.size() / 2);
        changed();
        journal += record.substr(record.size() / 2);
        changed();
        return true;
    }
    void ResetJournal(const std::string& records) override
    {
        journal = records;
        changed();
    }
    void RemoveJournal() override { ResetJournal(std::string()); }

    static std::vector<IndexEntry> Parse(const std::string& image)
    {
        std::vector<IndexEntry> entries;
        for (size_t at = 0; at < image.size();) {
            size_t equals = image.find('=', at), end = image.find(';', at);
            entries.push_back(KeeperEntry(std::wstring(image.begin() + at, image.begin() + equals), image[equals + 1] - '0'));
            at = end + 1;
        }
        return entries;
    }
};
