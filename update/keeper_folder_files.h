#pragma once
// The cache keeper's files in the game folder: "cachedindex.dat", replaced in
// one step, and the journal "downloading.dat", replaced in one step and held
// open while records are appended to it.

#include <string>

#include "support/win_handles.h"
#include "update/cache_keeper.h"

class CKeeperFolderFiles : public IKeeperFiles {
public:
    explicit CKeeperFolderFiles(std::wstring gameFolder) : gameFolder_(std::move(gameFolder)) {}

    bool ReadIndex(FileIndex& index) override;
    bool WriteIndex(const FileIndex& index) override;
    std::string ReadJournal() override;
    bool AppendJournal(const std::string& record) override;
    void ResetJournal(const std::string& records) override;
    void RemoveJournal() override;

private:
    std::wstring gameFolder_;
    UniqueHandle journal_;
};
