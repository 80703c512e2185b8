#pragma once
// The package installer: a single-file package that has arrived becomes its
// file. The package must lie on disk at exactly its entry's package size
// before the file is touched; the file stops being vouched for before it is
// removed, and is vouched for again only once its bytes match the entry.
// What touches the disk goes through IInstallDisk, so every failure can be
// tried in memory.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "update/cache_keeper.h"
#include "update/file_index.h"

class IInstallDisk {
public:
    // None when there is no such file.
    virtual std::optional<uint64_t> Size(const std::wstring& path) = 0;
    // Clears a read-only attribute and deletes the file; true when it is
    // gone or never existed.
    virtual bool Remove(const std::wstring& path) = 0;
    // Decompresses the package into the target and deletes the package,
    // also on failure; false with the codec's text.
    virtual bool Unpack(const std::wstring& package, const std::wstring& target, std::wstring& failure) = 0;
    // The file has the entry's size and, where checked, its digest; false
    // with a text when it cannot be read.
    virtual bool Matches(const std::wstring& path, const IndexEntry& entry, bool checkDigest,
                         std::wstring& failure) = 0;
    virtual void Delete(const std::wstring& path) = 0;

protected:
    ~IInstallDisk() = default;
};

enum class InstallResult {
    Installed,
    // The package is missing, of another size, or its entry names none:
    // it was deleted, the file is as it was.
    WrongSize,
    // The file could not be removed (another process holds it).
    TargetLocked,
    // The package does not decompress; the file is gone.
    UnpackFailed,
    // The file written is not the one the entry describes.
    Mismatch,
};

struct InstallOutcome {
    InstallResult result = InstallResult::Installed;
    // The package's size on disk (WrongSize), or the failure's text.
    uint64_t received = 0;
    std::wstring failure;
};

// The package lies on disk at exactly the entry's package size, and the
// entry names one (a gzip member is never empty). received: its size, 0 when
// there is none.
bool PackageIsWhole(const IndexEntry& entry, const std::wstring& packagePath, IInstallDisk& disk,
                    uint64_t& received);

// Installs the entry's package (entry named after its file, paths below the
// game folder as the disk takes them). The caller dates an installed file.
InstallOutcome InstallPackage(const IndexEntry& entry, const std::wstring& packagePath, const std::wstring& target,
                              bool checkDigest, IInstallDisk& disk, CCacheKeeper& keeper);

// The game folder through the system and the gzip codec.
// Hashing and unpacking fail once *stop is set.
class CGameFolderInstallDisk : public IInstallDisk {
public:
    explicit CGameFolderInstallDisk(const std::atomic<bool>* stop = nullptr) : stop_(stop) {}
    std::optional<uint64_t> Size(const std::wstring& path) override;
    bool Remove(const std::wstring& path) override;
    bool Unpack(const std::wstring& package, const std::wstring& target, std::wstring& failure) override;
    bool Matches(const std::wstring& path, const IndexEntry& entry, bool checkDigest, std::wstring& failure) override;
    void Delete(const std::wstring& path) override;

private:
    const std::atomic<bool>* stop_;
};
