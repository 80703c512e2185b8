#include "tools/publisher/server_tree.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <set>
#include <vector>

#include "support/folder_path.h"
#include "support/text_utils.h"
#include "support/win_handles.h"
#include "support/gzip/deflate_segment.h"
#include "support/gzip/zip_codec.h"
#include "tools/publisher/console.h"
#include "tools/publisher/file_hasher.h"
#include "tools/publisher/game_scan.h"
#include "tools/publisher/joined_member.h"
#include "tools/publisher/live_tree.h"
#include "tools/publisher/pack_jobs.h"
#include "tools/publisher/pack_progress.h"
#include "tools/publisher/publish_error.h"
#include "tools/publisher/publish_lock.h"
#include "tools/publisher/segment_cache.h"
#include "tools/publisher/tree_files.h"
#include "update/file_index.h"
#include "update/game_paths.h"

namespace {

const wchar_t kLockSuffix[] = L".lock";
const wchar_t kWorkSuffix[] = L".work";
const wchar_t kSegmentsSuffix[] = L".segments";
const wchar_t kLiveIndexWork[] = L"live-index.dat";
const wchar_t kIndexImageWork[] = L"index-image.dat";
const wchar_t kIndexSegmentWork[] = L"index-image.seg";
const wchar_t kFullStreamSuffix[] = L"_full";
const UINT kAbortedExit = 3;
// The index and the launcher's counters hold 32 bits.
const uint64_t kLimit = 0x100000000ULL;
const uint64_t kWarnAbove = 0x80000000ULL;
const uint64_t kFileTimeOfUnixEpoch = 116444736000000000ULL;
const uint64_t kFileTimeTicksPerSecond = 10000000ULL;

// Seconds since 1970 for a gzip header, 0 outside its field, as the codec
// dates its own headers.
uint32_t UnixTimeOf(uint64_t fileTime)
{
    if (fileTime <= kFileTimeOfUnixEpoch)
        return 0;
    uint64_t seconds = (fileTime - kFileTimeOfUnixEpoch) / kFileTimeTicksPerSecond;
    return seconds > 0xFFFFFFFFULL ? 0 : static_cast<uint32_t>(seconds);
}

std::wstring MegabytesText(uint64_t bytes)
{
    return std::to_wstring(bytes / (1024 * 1024)) + L" MB (" + std::to_wstring(bytes) + L" bytes)";
}

// Refuses what the launcher cannot count, warns well before.
void CheckSize(const std::wstring& what, uint64_t bytes)
{
    if (bytes >= kLimit)
        throw PublishError(what + L" would be " + MegabytesText(bytes) +
                           L": 4 GiB or more, which the index and the launcher cannot describe");
    if (bytes > kWarnAbove)
        PrintLine(L"Warning: " + what + L" is " + MegabytesText(bytes) + L", above 2 GiB; the limit is 4 GiB.");
}

void WriteWholeFile(const std::wstring& path, const std::string& bytes, uint64_t fileTime)
{
    UniqueHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        ThrowLastError(L"cannot create " + path);
    WriteAll(file.Get(), bytes.data(), bytes.size(), path);
    if (fileTime != 0) {
        FILETIME time{static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
        ::SetFileTime(file.Get(), nullptr, nullptr, &time);
    }
    if (!::CloseHandle(file.Release()))
        ThrowLastError(L"cannot write " + path);
}

std::wstring BaseName(const std::wstring& name)
{
    size_t slash = name.find_last_of(L"\\/");
    return slash == std::wstring::npos ? name : name.substr(slash + 1);
}

std::wstring ServedPath(const std::wstring& name)
{
    std::wstring relative = ServedName(PackageName(name));
    std::replace(relative.begin(), relative.end(), L'/', L'\\');
    return relative;
}

// A game file on its way into the new generation.
struct PlannedFile {
    GameFile file;
    IndexEntry entry;
    std::wstring servedPath;
    std::wstring segment;
    // The tree replaced holds this file's package as it must be.
    bool keep = false;
};

class TreeBuilder {
public:
    TreeBuilder(const PublishOptions& options, const std::wstring& serverDirectory)
        : options_(options), serverDirectory_(serverDirectory)
    {
    }

    PublishReport Build(void (*onFile)(const PublishedFile& file));

private:
    void CheckFolders();
    void AbortIfAt(const wchar_t* point) const;
    std::wstring Work(const std::wstring& name) const { return work_ + L"\\" + name; }
    std::wstring Built(const std::wstring& relative) const { return build_ + L"\\" + relative; }
    FileIndex ReadLiveIndex();
    std::vector<PlannedFile> Plan(const std::vector<GameFile>& files, const FileIndex& live);
    void PackSegments(const std::vector<PlannedFile>& planned);
    void PlacePackages(std::vector<PlannedFile>& planned, void (*onFile)(const PublishedFile& file));
    void PublishIndex(const FileIndex& index);
    void PublishFullPackage(const FileIndex& index, const std::vector<PlannedFile>& planned);
    void PublishDataSources();
    bool FileOnTheWay(const std::wstring& relative) const;
    void KeepRemovedPackages(const FileIndex& live, const FileIndex& index);
    void BuildGeneration(CLiveTree& tree, void (*onFile)(const PublishedFile& file));

    const PublishOptions& options_;
    std::wstring serverDirectory_;
    std::wstring gameFolder_;
    std::wstring outputFolder_;
    std::wstring final_;
    std::wstring work_;
    std::wstring live_;
    std::wstring build_;
    std::unique_ptr<CSegmentCache> cache_;
    CFileHasher hasher_;
    uint64_t newestFileTime_ = 0;
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
    DWORD error = CreateFolderPath(outputFolder_.c_str());
    if (error != 0)
        throw PublishError(L"cannot create the folder " + outputFolder_ + L": " + SystemErrorText(error));
    final_ = outputFolder_ + L"\\" + serverDirectory_;
    work_ = final_ + kWorkSuffix;
}

void TreeBuilder::AbortIfAt(const wchar_t* point) const
{
    if (options_.abortAt == point)
        ::TerminateProcess(::GetCurrentProcess(), kAbortedExit);
}

// The index of the tree being replaced, read from its own package: what it
// says of a file decides whether that file's package can stay.
FileIndex TreeBuilder::ReadLiveIndex()
{
    FileIndex index;
    if (live_.empty())
        return index;
    const std::wstring package = live_ + L"\\" + PackageName(kServerIndexName);
    const std::wstring raw = Work(kLiveIndexWork);
    try {
        CUnzip(package.c_str()).ToFile(raw.c_str());
    } catch (const CZipException& e) {
        PrintLine(L"Warning: cannot read the index of the live tree (" + AnsiToWide(e.Text()) +
                  L"); every file is packed anew.");
        return index;
    }
    if (!index.ReadFromFile(raw)) {
        PrintLine(L"Warning: the index of the live tree is damaged; every file is packed anew.");
        index.Clear();
    }
    return index;
}

std::vector<PlannedFile> TreeBuilder::Plan(const std::vector<GameFile>& files, const FileIndex& live)
{
    std::vector<PlannedFile> planned;
    for (const GameFile& file : files) {
        PlannedFile plan;
        plan.file = file;
        plan.entry.name = file.name;
        plan.entry.size = file.size;
        plan.entry.fileTime = file.fileTime;
        plan.entry.md5 = hasher_.Of(file.path);
        CheckSize(file.name, file.size);
        plan.servedPath = ServedPath(file.name);
        plan.segment = cache_->PathOf(plan.entry.md5, file.size);
        const IndexEntry* old = live.Find(file.name);
        uint64_t packageSize = 0, packageTime = 0;
        plan.keep = old && old->size == file.size && old->fileTime == file.fileTime && old->md5 == plan.entry.md5 &&
                    StatFile(live_ + L"\\" + plan.servedPath, packageSize, packageTime) &&
                    packageSize == old->packageSize;
        if (plan.keep)
            plan.entry.packageSize = old->packageSize;
        newestFileTime_ = std::max(newestFileTime_, file.fileTime);
        planned.push_back(plan);
    }
    return planned;
}

void TreeBuilder::PackSegments(const std::vector<PlannedFile>& planned)
{
    std::vector<PackJob> jobs;
    std::set<std::wstring> queued;
    uint64_t bytes = 0;
    for (const PlannedFile& plan : planned) {
        if (Exists(plan.segment) || !queued.insert(plan.segment).second)
            continue;
        jobs.push_back(PackJob{plan.file.path, plan.segment, plan.file.size});
        bytes += plan.file.size;
    }
    report_.compressedSegments = jobs.size();
    report_.reusedSegments = planned.size() - jobs.size();
    unsigned workers = options_.jobs;
    if (workers == 0) {
        SYSTEM_INFO system;
        ::GetSystemInfo(&system);
        workers = system.dwNumberOfProcessors;
    }
    PrintLine(L"Compressing " + std::to_wstring(jobs.size()) + L" files (" + MegabytesText(bytes) + L") on " +
              std::to_wstring(std::min<size_t>(workers, std::max<size_t>(jobs.size(), 1))) + L" processes...");
    CPackProgress progress(jobs.size(), bytes, options_.abortAt == L"packing");
    RunPackJobs(jobs, workers, work_, progress);
    progress.Finish();
}

// A kept package is linked from the tree replaced; any other is the file's
// segment wrapped as one gzip member, dated and named as the codec would.
void TreeBuilder::PlacePackages(std::vector<PlannedFile>& planned, void (*onFile)(const PublishedFile& file))
{
    uint64_t total = 0;
    for (PlannedFile& plan : planned) {
        const std::wstring package = Built(plan.servedPath);
        if (plan.keep) {
            LinkOrCopy(live_ + L"\\" + plan.servedPath, package);
            ++report_.keptFiles;
        } else {
            MemberHeader header{WideToAnsi(BaseName(plan.file.name)), UnixTimeOf(plan.file.fileTime)};
            plan.entry.packageSize = WriteJoinedMember(package, header, {plan.segment});
            ++report_.packedFiles;
        }
        uint64_t size = 0, fileTime = 0;
        if (!StatFile(plan.file.path, size, fileTime) || size != plan.file.size || fileTime != plan.file.fileTime) {
            ::DeleteFileW(plan.segment.c_str());
            throw PublishError(plan.file.path + L" changed while it was published");
        }
        total += plan.entry.packageSize;
        PublishedFile published{plan.entry.name, plan.entry.size, plan.entry.packageSize};
        report_.files.push_back(published);
        onFile(published);
    }
    CheckSize(L"the packages together", total);
}

void TreeBuilder::PublishIndex(const FileIndex& index)
{
    std::string image;
    if (!index.Serialize(image))
        throw PublishError(L"a file name is too long for the index");
    // Packed from a file named like the launcher's and dated like the
    // newest game file, so the package says what it holds and the same game
    // gives the same bytes.
    const std::wstring raw = Work(kServerIndexName);
    WriteWholeFile(raw, image, newestFileTime_);
    const std::wstring package = Built(PackageName(kServerIndexName));
    try {
        CZip(raw.c_str()).ToFile(package.c_str());
    } catch (const CZipException& e) {
        throw PublishError(L"cannot pack the index: " + AnsiToWide(e.Text()));
    }
    uint64_t fileTime = 0;
    StatFile(package, report_.indexPackageSize, fileTime);
}

// The index image, then every file's content, as one member joined from
// segments: only the index's segment is compressed here.
void TreeBuilder::PublishFullPackage(const FileIndex& index, const std::vector<PlannedFile>& planned)
{
    std::string image;
    index.Serialize(image);
    const std::wstring raw = Work(kIndexImageWork);
    const std::wstring segment = Work(kIndexSegmentWork);
    WriteWholeFile(raw, image, 0);
    try {
        WriteSegmentFile(raw, segment);
    } catch (const CZipException& e) {
        throw PublishError(L"cannot pack the index: " + AnsiToWide(e.Text()));
    }
    std::vector<std::wstring> segments{segment};
    for (const PlannedFile& plan : planned)
        segments.push_back(plan.segment);
    MemberHeader header{WideToAnsi(serverDirectory_ + kFullStreamSuffix), UnixTimeOf(newestFileTime_)};
    CheckSize(L"the whole-game package", JoinedMemberSize(header, segments));
    report_.fullPackageSize = WriteJoinedMember(Built(FullPackageName(serverDirectory_)), header, segments);
}

void TreeBuilder::PublishDataSources()
{
    std::string text;
    for (const std::wstring& mirror : options_.mirrors)
        text += WideToAnsi(mirror) + "\r\n";
    WriteWholeFile(Built(kDataSourcesName), text, 0);
}

// True when a folder of relative is a file in the new tree.
bool TreeBuilder::FileOnTheWay(const std::wstring& relative) const
{
    for (size_t slash = relative.find(L'\\'); slash != std::wstring::npos; slash = relative.find(L'\\', slash + 1)) {
        std::wstring folder = Built(relative.substr(0, slash));
        if (Exists(folder) && !IsFolder(folder))
            return true;
    }
    return false;
}

// A launcher that fetched the index being replaced may still ask for the
// package of a file this publish removes: it stays served for one more
// generation, where no path of the new tree claims it.
void TreeBuilder::KeepRemovedPackages(const FileIndex& live, const FileIndex& index)
{
    for (const IndexEntry& old : live.Entries()) {
        if (index.Find(old.name))
            continue;
        const std::wstring relative = ServedPath(old.name);
        const std::wstring source = live_ + L"\\" + relative;
        const std::wstring target = Built(relative);
        uint64_t size = 0, fileTime = 0;
        if (!StatFile(source, size, fileTime) || Exists(target))
            continue;
        if (FileOnTheWay(relative))
            continue;
        LinkOrCopy(source, target);
        ++report_.retiredPackages;
    }
}

void TreeBuilder::BuildGeneration(CLiveTree& tree, void (*onFile)(const PublishedFile& file))
{
    GameScan scan = ScanGameFolder(gameFolder_, serverDirectory_);
    report_.skipped = scan.skipped;
    FileIndex live = ReadLiveIndex();
    std::vector<PlannedFile> planned = Plan(scan.files, live);
    PackSegments(planned);
    PlacePackages(planned, onFile);
    FileIndex index;
    for (const PlannedFile& plan : planned)
        index.Append(plan.entry);
    PublishIndex(index);
    PublishFullPackage(index, planned);
    PublishDataSources();
    KeepRemovedPackages(live, index);

    std::set<std::wstring> used;
    for (const PlannedFile& plan : planned)
        used.insert(plan.segment);
    tree.Complete();
    tree.MakeNextLink();
    AbortIfAt(L"switch");
    tree.SwitchToNext();
    AbortIfAt(L"cleanup");
    tree.Prune();
    cache_->KeepOnly(used);
}

PublishReport TreeBuilder::Build(void (*onFile)(const PublishedFile& file))
{
    CheckFolders();
    CPublishLock lock(final_ + kLockSuffix);
    CLiveTree tree(outputFolder_, serverDirectory_);
    for (const std::wstring& repair : tree.Repair())
        PrintLine(L"Repaired: " + repair + L".");
    live_ = tree.LiveFolder();
    build_ = tree.NextBuildFolder();
    report_.treeFolder = final_;
    report_.generationFolder = tree.NextFolder();
    report_.replacedOldTree = !live_.empty();
    cache_ = std::make_unique<CSegmentCache>(final_ + kSegmentsSuffix);
    if (!RemoveTree(work_))
        ThrowLastError(L"cannot remove the work folder " + work_);
    CreateParentFolders(Work(kLiveIndexWork));
    CreateParentFolders(Built(kDataSourcesName));
    try {
        BuildGeneration(tree, onFile);
    } catch (...) {
        RemoveTree(build_);
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
