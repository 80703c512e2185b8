#pragma once
// The keeper of what "cachedindex.dat" vouches for. One rule: the cached
// index vouches for a file only while the file's bytes are the ones its entry
// describes. Every write to a game file goes through here: the file stops
// being vouched for before its first byte is written, and is vouched for
// again only once its bytes were checked against its entry.
//
// The cached index is rewritten now and then, not per file; what changed in
// between lives in a small journal ("downloading.dat") of records appended
// without a flush. A record is complete before the file it names is touched,
// so a process killed at any instant leaves a journal that, read over the
// cached index, vouches only for checked bytes. The journal also notes the
// package being downloaded, so that a killed run's partial package can be
// dated and resumed.

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>

#include "update/file_index.h"

// Where the keeper keeps its two files.
class IKeeperFiles {
public:
    // False when there is no readable cached index.
    virtual bool ReadIndex(FileIndex& index) = 0;
    // Replaces the cached index in one step; false when it could not.
    virtual bool WriteIndex(const FileIndex& index) = 0;
    virtual std::string ReadJournal() = 0;
    // False when the record could not be written whole.
    virtual bool AppendJournal(const std::string& record) = 0;
    // Replaces the journal in one step with these records, so no instant
    // finds it without them.
    virtual void ResetJournal(const std::string& records) = 0;
    virtual void RemoveJournal() = 0;

protected:
    ~IKeeperFiles() = default;
};

class CCacheKeeper {
public:
    explicit CCacheKeeper(IKeeperFiles& files) : files_(files) {}

    // Reads the cached index and the journal over it, writes the result
    // back and empties the journal. False when there was no cached index.
    // The package an earlier run was downloading, if it noted one.
    bool Load(std::optional<IndexEntry>& packageInFlight);

    // The entries vouched for now, in index order.
    const FileIndex& Vouched();
    bool Vouches(const IndexEntry& entry);

    // Before the file's first byte is written.
    void Unvouch(const std::wstring& name);
    // After the file's bytes were checked against the entry.
    void Vouch(const IndexEntry& entry);
    // Every file the index lists was checked; it replaces everything, now.
    void Adopt(const FileIndex& index);
    // The package whose download starts now.
    void NotePackage(const IndexEntry& package);

    // Writes the cached index and empties the journal, at most every so
    // often (ticks in ms): a run killed outright then rechecks on disk only
    // the files of the last seconds.
    void SaveIfDue(uint32_t now);
    void Save();
    // The pass is complete. When every entry of the server's index with a
    // safe name is vouched for as it stands there, that index becomes the
    // cached index as it is; otherwise what is vouched for. The journal goes.
    void Complete(const FileIndex& serverIndex);

private:
    static std::string Record(char kind, const IndexEntry& entry);
    bool Append(char kind, const IndexEntry& entry);

    IKeeperFiles& files_;
    // The last index written or adopted, with the entries vouched since;
    // names in unvouched_ (keys) are not vouched whatever it says.
    FileIndex index_;
    std::unordered_set<std::wstring> unvouched_;
    FileIndex vouched_;
    bool vouchedStale_ = true;
    std::optional<IndexEntry> package_;
    bool dirty_ = false;
    uint32_t lastSave_ = 0;
};
