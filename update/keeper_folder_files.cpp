#include "update/keeper_folder_files.h"

#include "support/file_replace.h"
#include "update/game_paths.h"

namespace {

const DWORD kReadChunk = 65536;

} // namespace

bool CKeeperFolderFiles::ReadIndex(FileIndex& index)
{
    const std::wstring path = GamePath(gameFolder_, kCachedIndexName);
    if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return false;
    // A damaged index keeps the entries read before the damage; those are
    // still what an earlier run checked.
    index.ReadFromFile(path);
    return true;
}

bool CKeeperFolderFiles::WriteIndex(const FileIndex& index)
{
    return index.WriteToFile(GamePath(gameFolder_, kCachedIndexName)) == 0;
}

std::string CKeeperFolderFiles::ReadJournal()
{
    journal_.Reset();
    UniqueHandle file(::CreateFileW(GamePath(gameFolder_, kPackageJournalName).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string journal;
    if (!file)
        return journal;
    std::string chunk(kReadChunk, '\0');
    DWORD got = 0;
    while (::ReadFile(file.Get(), &chunk[0], kReadChunk, &got, nullptr) && got != 0)
        journal.append(chunk.data(), got);
    return journal;
}

// No flush: a record only has to outlive this process, which the system's
// cache does; the write is one call, so a kill leaves it whole or cut,
// never in pieces of other records.
bool CKeeperFolderFiles::AppendJournal(const std::string& record)
{
    if (!journal_) {
        journal_.Reset(::CreateFileW(GamePath(gameFolder_, kPackageJournalName).c_str(), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                     nullptr));
        const LARGE_INTEGER none{};
        ::SetFilePointerEx(journal_.Get(), none, nullptr, FILE_END);
    }
    DWORD wrote = 0;
    return ::WriteFile(journal_.Get(), record.data(), static_cast<DWORD>(record.size()), &wrote, nullptr) &&
           wrote == record.size();
}

// When it cannot be replaced the old journal stays: its records only ever
// take vouching away, and the package it notes is still the one in flight or
// an earlier one.
void CKeeperFolderFiles::ResetJournal(const std::string& records)
{
    journal_.Reset();
    WriteFileReplacing(GamePath(gameFolder_, kPackageJournalName), records.data(), records.size());
}

void CKeeperFolderFiles::RemoveJournal()
{
    journal_.Reset();
    ::DeleteFileW(GamePath(gameFolder_, kPackageJournalName).c_str());
}
