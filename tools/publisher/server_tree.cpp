#include "tools/publisher/server_tree.h"

#include <windows.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "support/text_utils.h"
#include "support/win_handles.h"
#include "support/gzip/zip_codec.h"
#include "tools/publisher/game_scan.h"
#include "tools/publisher/publish_error.h"
#include "tools/publisher/tree_files.h"
#include "update/file_digest.h"
#include "update/file_index.h"
#include "update/game_paths.h"
#include "update/md5_digest.h"

namespace {

const DWORD kCopyChunk = 1024 * 1024;
const wchar_t kStagingSuffix[] = L".publishing";
const wchar_t kWorkSuffix[] = L".publishing-work";
const wchar_t kPreviousSuffix[] = L".previous";
// Work files, in a folder of their own beside the tree so that no game name
// can meet them.
const wchar_t kPackageWork[] = L"package.tmp";
const wchar_t kStreamWork[] = L"stream.tmp";

std::wstring TextOf(const CZipException& e)
{
    return AnsiToWide(e.Text());
}

uint64_t SizeOf(const std::wstring& path)
{
    uint64_t size = 0, fileTime = 0;
    if (!StatFile(path, size, fileTime))
        ThrowLastError(L"cannot read the size of " + path);
    return size;
}

void WriteAll(HANDLE file, const char* data, size_t size, const std::wstring& path)
{
    while (size != 0) {
        DWORD wrote = 0;
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, kCopyChunk));
        if (!::WriteFile(file, data, chunk, &wrote, nullptr) || wrote == 0)
            ThrowLastError(L"cannot write " + path);
        data += wrote;
        size -= wrote;
    }
}

UniqueHandle CreateWorkFile(const std::wstring& path)
{
    UniqueHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        ThrowLastError(L"cannot create " + path);
    return file;
}

void WriteWholeFile(const std::wstring& path, const std::string& bytes)
{
    UniqueHandle file = CreateWorkFile(path);
    WriteAll(file.Get(), bytes.data(), bytes.size(), path);
    if (!::CloseHandle(file.Release()))
        ThrowLastError(L"cannot write " + path);
}

class TreeBuilder {
public:
    TreeBuilder(const PublishOptions& options, const std::wstring& serverDirectory)
        : options_(options), serverDirectory_(serverDirectory)
    {
    }

    PublishReport Build(void (*onFile)(const PublishedFile& file));

private:
    void CheckFolders();
    std::wstring Staged(const std::wstring& relative) const { return staging_ + L"\\" + relative; }
    std::wstring Work(const std::wstring& name) const { return work_ + L"\\" + name; }
    void Pack(const std::wstring& source, const std::wstring& target, const std::wstring& what);
    IndexEntry PublishFile(const GameFile& file);
    void AppendContent(HANDLE stream, const IndexEntry& entry, const GameFile& file);
    void PublishIndex(const FileIndex& index);
    void PublishFullPackage(const FileIndex& index, const std::vector<GameFile>& files);
    void PublishDataSources();
    void MoveTreeIntoPlace();

    const PublishOptions& options_;
    std::wstring serverDirectory_;
    std::wstring gameFolder_;
    std::wstring outputFolder_;
    std::wstring final_;
    std::wstring staging_;
    std::wstring work_;
    PublishReport report_;
};

void TreeBuilder::CheckFolders()
{
    gameFolder_ = FullPathOf(options_.gameFolder);
    outputFolder_ = FullPathOf(options_.outputFolder);
    if (!IsFolder(gameFolder_))
        throw PublishError(L"the game folder " + gameFolder_ + L" does not exist");
    if (PathsOverlap(gameFolder_, outputFolder_))
        throw PublishError(L"the output folder " + outputFolder_ + L" and the game folder " + gameFolder_ +
                           L" must lie apart");
    final_ = outputFolder_ + L"\\" + serverDirectory_;
    staging_ = final_ + kStagingSuffix;
    work_ = final_ + kWorkSuffix;
}

void TreeBuilder::Pack(const std::wstring& source, const std::wstring& target, const std::wstring& what)
{
    const std::wstring work = Work(kPackageWork);
    try {
        CZip(source.c_str()).ToFile(work.c_str());
    } catch (const CZipException& e) {
        throw PublishError(L"cannot pack " + what + L": " + TextOf(e));
    }
    CreateParentFolders(target);
    MoveIntoPlace(work, target);
}

IndexEntry TreeBuilder::PublishFile(const GameFile& file)
{
    IndexEntry entry;
    entry.name = file.name;
    entry.size = file.size;
    entry.fileTime = file.fileTime;
    try {
        entry.md5 = FileDigest(file.path);
    } catch (const std::runtime_error& e) {
        throw PublishError(L"cannot read " + file.path + L": " + AnsiToWide(e.what()));
    }

    std::wstring relative = ServedName(PackageName(file.name));
    std::replace(relative.begin(), relative.end(), L'/', L'\\');
    std::wstring package = Staged(relative);
    Pack(file.path, package, file.path);
    entry.packageSize = SizeOf(package);

    uint64_t size = 0, fileTime = 0;
    if (!StatFile(file.path, size, fileTime) || size != file.size || fileTime != file.fileTime)
        throw PublishError(file.path + L" changed while it was published");
    return entry;
}

void TreeBuilder::PublishIndex(const FileIndex& index)
{
    std::string image;
    if (!index.Serialize(image))
        throw PublishError(L"a file name is too long for the index");
    // Packed from a file named like the launcher's, so the package's name
    // field says what it holds.
    const std::wstring raw = Work(kServerIndexName);
    WriteWholeFile(raw, image);
    const std::wstring package = Staged(PackageName(kServerIndexName));
    Pack(raw, package, kServerIndexName);
    ::DeleteFileW(raw.c_str());
    report_.indexPackageSize = SizeOf(package);
}

// Copies a file's content into the whole-game stream, checking it against
// the digest taken when its package was made.
void TreeBuilder::AppendContent(HANDLE stream, const IndexEntry& entry, const GameFile& file)
{
    UniqueHandle source(::CreateFileW(file.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!source)
        ThrowLastError(L"cannot read " + file.path);
    std::vector<char> chunk(kCopyChunk);
    CMd5Digest digest;
    uint64_t copied = 0;
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(source.Get(), chunk.data(), kCopyChunk, &got, nullptr))
            ThrowLastError(L"cannot read " + file.path);
        if (got == 0)
            break;
        digest.Update(chunk.data(), got);
        WriteAll(stream, chunk.data(), got, Work(kStreamWork));
        copied += got;
    }
    if (copied != entry.size || digest.Digest() != entry.md5)
        throw PublishError(file.path + L" changed while it was published");
}

void TreeBuilder::PublishFullPackage(const FileIndex& index, const std::vector<GameFile>& files)
{
    std::string image;
    index.Serialize(image);
    const std::wstring raw = Work(kStreamWork);
    {
        UniqueHandle stream = CreateWorkFile(raw);
        WriteAll(stream.Get(), image.data(), image.size(), raw);
        for (size_t i = 0; i < files.size(); ++i)
            AppendContent(stream.Get(), index.Entries()[i], files[i]);
        if (!::CloseHandle(stream.Release()))
            ThrowLastError(L"cannot write " + raw);
    }
    const std::wstring package = Staged(FullPackageName(serverDirectory_));
    Pack(raw, package, L"the whole-game package");
    ::DeleteFileW(raw.c_str());
    report_.fullPackageSize = SizeOf(package);
}

void TreeBuilder::PublishDataSources()
{
    std::string text;
    for (const std::wstring& mirror : options_.mirrors)
        text += WideToAnsi(mirror) + "\r\n";
    WriteWholeFile(Staged(kDataSourcesName), text);
}

// The finished tree replaces the old one in two renames; the old one is
// deleted only once the new one is in place.
void TreeBuilder::MoveTreeIntoPlace()
{
    const std::wstring previous = final_ + kPreviousSuffix;
    report_.replacedOldTree = Exists(final_);
    if (report_.replacedOldTree) {
        if (!RemoveTree(previous))
            ThrowLastError(L"cannot remove the earlier tree " + previous);
        if (!::MoveFileExW(final_.c_str(), previous.c_str(), 0))
            ThrowLastError(L"cannot move the old tree " + final_ + L" aside");
    }
    if (!::MoveFileExW(staging_.c_str(), final_.c_str(), 0)) {
        DWORD error = ::GetLastError();
        if (report_.replacedOldTree)
            ::MoveFileExW(previous.c_str(), final_.c_str(), 0);
        throw PublishError(L"cannot move the new tree into place as " + final_ + L": " + SystemErrorText(error));
    }
    if (report_.replacedOldTree)
        RemoveTree(previous);
}

PublishReport TreeBuilder::Build(void (*onFile)(const PublishedFile& file))
{
    CheckFolders();
    GameScan scan = ScanGameFolder(gameFolder_, serverDirectory_);
    report_.skipped = scan.skipped;
    report_.treeFolder = final_;

    for (const std::wstring& leftover : {staging_, work_}) {
        if (!RemoveTree(leftover))
            ThrowLastError(L"cannot remove the unfinished tree " + leftover);
    }
    CreateParentFolders(Work(kPackageWork));
    CreateParentFolders(Staged(kDataSourcesName));
    try {
        FileIndex index;
        for (const GameFile& file : scan.files) {
            IndexEntry entry = PublishFile(file);
            index.Append(entry);
            PublishedFile published{entry.name, entry.size, entry.packageSize};
            report_.files.push_back(published);
            onFile(published);
        }
        PublishIndex(index);
        PublishFullPackage(index, scan.files);
        PublishDataSources();
        MoveTreeIntoPlace();
    } catch (...) {
        RemoveTree(staging_);
        RemoveTree(work_);
        throw;
    }
    RemoveTree(work_);
    return report_;
}

} // namespace

PublishReport PublishServerTree(const PublishOptions& options, const std::wstring& serverDirectory,
                                void (*onFile)(const PublishedFile& file))
{
    TreeBuilder builder(options, serverDirectory);
    return builder.Build(onFile);
}
