#include "update/update_pass.h"

#include <shlwapi.h>

#include <algorithm>
#include <optional>

#include "services/settings_store.h"
#include "services/string_ids.h"
#include "services/string_table.h"
#include "support/file_holders.h"
#include "support/gzip/zip_codec.h"
#include "support/module_path.h"
#include "support/random.h"
#include "support/system_message.h"
#include "support/text_utils.h"
#include "telemetry/report_client.h"
#include "update/data_sources.h"
#include "update/disk_space.h"
#include "update/game_launch.h"
#include "update/game_paths.h"
#include "update/partial_package.h"
#include "update/single_package.h"
#include "update/update_plan.h"

namespace {

const wchar_t kOneFileDownloadSetting[] = L"Debug\\OneFileDownload";
const wchar_t kHashCheckSetting[] = L"Debug/HashCheck";
const wchar_t kHashCheckAfterCrashSetting[] = L"Debug/HashCheckAfterCrash";

const DWORD kSpeedWindowMs = 1000;
const DWORD kRetrySleepMs = 1000;
const int kRetryWaitSeconds = 3;
const DWORD kRetryWaitMs = kRetryWaitSeconds * 1000;
// The fourth identical failure in a row switches the client.
const int kRepeatsBeforeSwitching = 3;
const UINT kByteSizeChars = 64;
// The most a file may hold before it arrives: a server list is a few lines,
// an index a few hundred thousand entries.
const uint64_t kServerListCap = 64 * 1024;
const uint64_t kIndexPackageCap = 32 * 1024 * 1024;
// Failures in a row after which a listed server counts as failed.
const int kServerFailuresInARow = 3;
const wchar_t kNotFoundStatus[] = L"404";

const wchar_t kNoHashesQuestion[] = L"Hash information is unavailable in received index file.\nProceed anyway?";
const wchar_t kSizeMismatchFailure[] = L" error_filesize_mismatch";
const wchar_t kUnpackFailure[] = L" error_unzipping";
const wchar_t kContentMismatchFailure[] = L" error_content_mismatch";
const wchar_t kContentMismatchLine[] = L"Unpacked file does not match the index: ";
const wchar_t kFullPackageFailure[] = L"one_file_unpack_error";
const wchar_t kUnsafeNameFailure[] = L"unsafe_file_name ";
const wchar_t kTooLargeFailure[] = L" error_too_large";
const wchar_t kTooLargeLine[] = L" is larger than it may be: ";
const wchar_t kSelfUpdateSkipped[] = L" self_update_skipped";
const wchar_t kDiskSpaceFailure[] = L"not_enough_disk_space ";
const wchar_t kFileHeldFailure[] = L" error_file_in_use";

// A plan that does not fit looks at the drive again after this long.
const DWORD kSpaceCheckMs = 5000;
// A held file is tried again after 1 s, then twice as long each time, up to this.
const DWORD kMostHeldFilePauseSeconds = 30;
const ULONGLONG kSpeedLimitReadMs = 1000;
// The throttle's wait is cut into slices, each ending early on a stop and
// followed by a look at the limit.
const DWORD kThrottleSliceMs = 250;

std::wstring ByteSizeText(uint64_t bytes)
{
    wchar_t text[kByteSizeChars];
    ::StrFormatByteSizeW(static_cast<LONGLONG>(bytes), text, kByteSizeChars);
    return text;
}

} // namespace

CUpdatePass::CUpdatePass(ILauncherWindow& window, CReportClient& reports, ILauncherHandover& handover,
                         CHttpClientChoice& clients, RunProgress& progress, const std::atomic<bool>& stop,
                         HANDLE stopEvent)
    : window_(window),
      reports_(reports),
      handover_(handover),
      clients_(clients),
      progress_(progress),
      stop_(stop),
      stopEvent_(stopEvent),
      gameFolder_(LoadLangString(IDS_GAME_FOLDER)),
      productKeyWord_(LoadLangString(IDS_SERVER_DIRECTORY)),
      installDisk_(&stop),
      keeperFiles_(gameFolder_),
      keeper_(keeperFiles_),
      checkProgress_(window, progress, nullptr),
      wholeGame_(window, progress, keeper_, installDisk_, gameFolder_, productKeyWord_),
      singlePackageDownload_(g_settings.GetBool(kOneFileDownloadSetting, true))
{
}

void CUpdatePass::Begin()
{
    ClearQueue();
    fetchedBytes_ = 0;
    fetchedFiles_ = 0;
    heldFilePause_ = 0;
    waitingForSpace_ = false;
    serverDirectory_ = productKeyWord_;
    Client().Connect(LoadLangString(IDS_UPDATE_HOST));
    if (!integrityCheck_) {
        bool check = g_settings.GetBool(kHashCheckSetting, false);
        if (!check && GameCrashLogExists())
            check = g_settings.GetBool(kHashCheckAfterCrashSetting, true);
        integrityCheck_ = check;
    }
    // Nothing of the last pass is pending.
    next_ = Step::RequestServerList;
}

void CUpdatePass::Run()
{
    LoadCachedIndex();
    while (!finished_ && !StopRequested()) {
        const Step step = next_;
        next_ = Step::Transfer;
        Advance(step);
        keeper_.SaveIfDue(::GetTickCount());
    }
    if (finished_)
        return;
    keeper_.Save();
    Client().Cancel();
    DateCurrentPackage();
}

void CUpdatePass::RequestCheck()
{
    finished_ = false;
    integrityCheck_ = true;
    singlePackageDownload_ = false;
}

void CUpdatePass::ApplyClientPreference()
{
    if (!clients_.Automatic())
        SwitchClient(clients_.WantsWinInet());
}

void CUpdatePass::SwitchClient(bool useWinInet)
{
    if (clients_.SwitchTo(useWinInet))
        OnMessage(FormatString(LoadLangString(IDS_SWITCHING_CLIENT), useWinInet ? L"WinINet" : L"POCO").c_str());
}

// Asked on the worker's thread; the owner answers "No" for the player when
// it stops the pass.
bool CUpdatePass::ConfirmCheckWithoutDigests()
{
    return ::MessageBoxW(window_.GetWindowHandle(), kNoHashesQuestion, LoadLangString(IDS_PRODUCT_NAME),
                         MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void CUpdatePass::ClearQueue()
{
    queue_.clear();
    current_ = 0;
}

void CUpdatePass::Advance(Step step)
{
    switch (step) {
    case Step::Transfer:
        Client().Process();
        break;
    case Step::RequestServerList:
        RequestServerList();
        break;
    case Step::ServerListArrived:
        OnServerListArrived();
        break;
    case Step::IndexArrived:
        OnIndexPackageArrived();
        break;
    case Step::Plan:
        Plan();
        break;
    case Step::NextFile:
        RequestNextFile();
        break;
    case Step::FileArrived:
        if (!AtEnd())
            OnPackageArrived(LocalPath(queue_[current_].name));
        break;
    case Step::WholeGameArrived:
        UnpackFullPackage();
        break;
    case Step::Retry:
        Retry(retryReplan_);
        break;
    case Step::Idle:
        ::WaitForSingleObject(stopEvent_, INFINITE);
        next_ = Step::Idle;
        break;
    }
}

void CUpdatePass::Request(const std::wstring& name, DWORD offset, Step arrival, uint64_t cap)
{
    speedWindowStart_ = ::GetTickCount();
    speedWindowBytes_ = 0;
    arrival_ = arrival;
    transferCap_ = cap;
    requestedOffset_ = offset;
    transferBytes_ = offset;
    packageComplete_ = false;
    refusedSize_ = 0;
    requestedLocal_ = LocalPath(name);
    Client().Download(RequestPath(serverDirectory_, name), requestedLocal_, offset);
    if (refusedSize_ != 0) {
        RefuseTransfer(refusedSize_);
        return;
    }
    if (packageComplete_) {
        next_ = arrival;
        return;
    }
    // Both clients open the file where the answer continues it.
    const DWORD held = static_cast<DWORD>(installDisk_.Size(requestedLocal_).value_or(offset));
    transferBytes_ = held;
    if (held < offset && !AtEnd())
        CountRestart(offset - held);
}

// An answer longer than its file may be is dropped before it fills the disk.
void CUpdatePass::RefuseTransfer(uint64_t size)
{
    Client().Cancel();
    if (arrival_ == Step::FileArrived) {
        RejectPackage(requestedLocal_, size);
        return;
    }
    ::DeleteFileW(requestedLocal_.c_str());
    AddLog(requestedLocal_ + kTooLargeLine + ByteSizeText(size) + L"\r\n");
    if (arrival_ == Step::WholeGameArrived) {
        LeaveWholeGameRoad();
        HandleFailure(requestedLocal_ + kTooLargeFailure, true);
        return;
    }
    HandleFailure(requestedLocal_ + kTooLargeFailure, false);
}

// The transfer started over from 0: the bytes it had are counted again as
// they arrive.
void CUpdatePass::CountRestart(DWORD lost)
{
    progress_.currentFileBytes -= lost;
    // The whole-game package counts the bytes it had on disk as done; a
    // single package counts only what was missing at planning, which has
    // now grown.
    if (arrival_ == Step::WholeGameArrived) {
        progress_.overallBytesDone -= lost;
    } else {
        uncountedBytes_ -= std::min(lost, uncountedBytes_);
        progress_.bytesToDownload += lost;
        window_.SetTotalSize(progress_.bytesToDownload, PlannedFileCount());
    }
    progress_.progressChanged = true;
}

// Always from the default update host, which hands out the list.
void CUpdatePass::RequestServerList()
{
    ++attempts_;
    serverDirectory_ = productKeyWord_;
    Client().Connect(LoadLangString(IDS_UPDATE_HOST));
    Request(kDataSourcesName, 0, Step::ServerListArrived, kServerListCap);
}

void CUpdatePass::OnServerListArrived()
{
    servers_ = ReadDataSources(LocalPath(kDataSourcesName));
    std::vector<std::wstring> hosts;
    for (const std::wstring& line : servers_)
        hosts.push_back(SplitServerLine(line, productKeyWord_).host);
    clients_.SetRedirectHosts(hosts);
    serverFailures_.assign(servers_.size(), 0);
    ChooseServer();
    RequestIndexPackage();
}

void CUpdatePass::ChooseServer()
{
    std::wstring server = LoadLangString(IDS_UPDATE_HOST);
    if (!servers_.empty()) {
        serverIndex_ = static_cast<int>(NextRandom() * static_cast<double>(servers_.size()));
        ServerAddress address = SplitServerLine(servers_[static_cast<size_t>(serverIndex_)], productKeyWord_);
        server = address.host;
        serverDirectory_ = address.directory;
    }
    AddLog(LoadLangString(IDS_SELECTING_SERVER) + server + L"\r\n");
    Client().Connect(server);
    reports_.RestartTimer();
    progress_.bytesSinceServerChoice = 0;
}

void CUpdatePass::RequestIndexPackage()
{
    window_.SetFileCaption(IDS_DOWNLOADING);
    ++attempts_;
    Request(PackageName(kServerIndexName), 0, Step::IndexArrived, kIndexPackageCap);
}

// An index package that does not unpack (a page in its place, a damaged
// copy) is a failure of this server like any other: another one is asked.
void CUpdatePass::OnIndexPackageArrived()
{
    attempts_ = 0;
    progress_.bytesToDownload = 0;
    progress_.overallBytesDone = 0;
    ClearQueue();
    const std::wstring package = LocalPath(PackageName(kServerIndexName));
    if (!UnpackSingle(LocalPath(kServerIndexName), package)) {
        HandleFailure(package + kUnpackFailure, false);
        return;
    }
    Plan();
}

// The cached index and its journal, once per worker: what an earlier run
// was writing when it ended is no longer vouched for, and the package it was
// downloading is dated so that it resumes.
void CUpdatePass::LoadCachedIndex()
{
    std::optional<IndexEntry> package;
    if (!keeper_.Load(package))
        integrityCheck_ = true;
    if (!package || !IsSafeEntryName(package->name))
        return;
    const std::wstring path = LocalPath(package->name);
    if (installDisk_.Size(path))
        DateFile(path, package->fileTime);
}

void CUpdatePass::Plan()
{
    ClearQueue();
    planIndex_ = FileIndex();
    planIndex_.ReadFromFile(LocalPath(kServerIndexName));
    indexHasHashes_ = planIndex_.HasHashes();
    const FileIndex* against = &keeper_.Vouched();
    if (integrityCheck_) {
        if (!planIndex_.HasHashes() && !ConfirmCheckWithoutDigests()) {
            // Without digests the disk decides by sizes alone.
            integrityCheck_ = false;
            against = nullptr;
        } else {
            window_.SetFileCaption(IDS_CHECKING_FILES);
        }
    }
    if (StopRequested())
        return;

    CGameFolderDisk disk(gameFolder_, &stop_);
    const PlanSettings settings{ModuleFileName(), integrityCheck_, singlePackageDownload_, launcherHandled_};
    UpdatePlan plan = PlanUpdate(planIndex_, against, settings, disk, checkProgress_);
    // Hashing cut short by the stop is no failure; the next pass plans anew.
    if (StopRequested())
        return;
    for (const std::wstring& name : plan.unsafeNames)
        AddLog(L"Unsafe file name in the index, skipped: " + name + L"\r\n");
    if (!plan.unsafeNames.empty() && !unsafeNamesReported_) {
        unsafeNamesReported_ = true;
        reports_.SendFailure(kEventRequestFailed, progress_.Figures(), serverIndex_, kUnsafeNameFailure + plan.unsafeNames[0]);
    }
    if (!plan.failure.empty()) {
        reports_.SendFailure(kEventPlanFailed, progress_.Figures(), serverIndex_, plan.failure);
        AddLog(plan.failure + L"\r\n");
        // The queue is empty, so the retry fetches the index and plans again.
        retryReplan_ = false;
        next_ = Step::Retry;
        return;
    }
    if (integrityCheck_) {
        // Hashed once per check: later plans of this run trust what it found.
        window_.SetFileCaption(IDS_DOWNLOADING);
        keeper_.Adopt(plan.checkedIndex);
        integrityCheck_ = false;
    }
    for (const IndexEntry& entry : plan.foundOnDisk)
        keeper_.Vouch(entry);
    if (!MakeRoomFor(plan, disk))
        return;
    progress_.bytesToDownload = static_cast<DWORD>(plan.bytesToDownload);
    if (plan.wholeGame)
        RequestFullPackage();
    else
        QueuePlan(plan);
}

// Nothing is fetched before the drive has room for the plan; when only the
// single packages fit, they are taken instead of the whole-game package.
bool CUpdatePass::MakeRoomFor(UpdatePlan& plan, IPlanDisk& disk)
{
    const DriveSpace space = GameDriveSpace();
    if (!space.known || plan.queue.empty())
        return true;
    const SpaceNeeds needs =
        PlanSpaceNeeds(plan, planIndex_, plan.wholeGame ? wholeGame_.BytesOnDisk() : 0, gameFolder_, disk);
    if (plan.wholeGame && space.free < needs.wholeGame && space.free >= needs.fileByFile) {
        AddLog(std::wstring(LoadLangString(IDS_WHOLE_GAME_DOES_NOT_FIT)) + L"\r\n");
        plan.wholeGame = false;
        singlePackageDownload_ = false;
    }
    if (space.free >= (plan.wholeGame ? needs.wholeGame : needs.fileByFile)) {
        waitingForSpace_ = false;
        return true;
    }
    WaitForSpace(needs.fileByFile, space.free, space.drive);
    return false;
}

// Told in the window at every look, logged and reported once per wait; then
// the plan is made again, from what the disk holds by then.
void CUpdatePass::WaitForSpace(uint64_t need, uint64_t free, const std::wstring& drive)
{
    const std::wstring text = FormatString(LoadLangString(IDS_DISK_SPACE_SHORT), ByteSizeText(need).c_str(),
                                           drive.c_str(), ByteSizeText(free).c_str());
    window_.SetCurrentFile(0, -1, text.c_str());
    if (!waitingForSpace_) {
        waitingForSpace_ = true;
        AddLog(text + L"\r\n");
        reports_.SendFailure(kEventRequestFailed, progress_.Figures(), serverIndex_,
                             kDiskSpaceFailure + std::to_wstring(need) + L" " + std::to_wstring(free));
    }
    progress_.speed = 0;
    progress_.speedChanged = true;
    if (::WaitForSingleObject(stopEvent_, kSpaceCheckMs) == WAIT_OBJECT_0)
        return;
    next_ = Step::Plan;
}

// A disk that filled during a transfer: the plan is made again, which waits
// for room.
bool CUpdatePass::DiskNearlyFull() const
{
    const DriveSpace space = GameDriveSpace();
    return space.known && space.free < kDiskSpaceMargin;
}

DriveSpace CUpdatePass::GameDriveSpace() const
{
    return FreeSpaceOf(gameFolder_.empty() ? L"." : gameFolder_);
}

// What this run installed before keeps its place in the figures.
void CUpdatePass::QueuePlan(UpdatePlan& plan)
{
    queue_ = std::move(plan.queue);
    current_ = 0;
    progress_.bytesToDownload = progress_.bytesToDownload + fetchedBytes_;
    progress_.overallBytesDone = fetchedBytes_;
    progress_.progressChanged = true;
    window_.SetTotalSize(progress_.bytesToDownload, PlannedFileCount());
    if (queue_.empty()) {
        if (fetchedFiles_ != 0)
            window_.SetCurrentFile(0, fetchedFiles_, LoadLangString(IDS_ALL_FILES_UP_TO_DATE));
        else
            window_.SetCurrentFile(1, -1, LoadLangString(IDS_ALL_FILES_UP_TO_DATE));
        window_.SetFileProgress(1);
    }
    next_ = Step::NextFile;
}

int CUpdatePass::PlannedFileCount() const
{
    return fetchedFiles_ + static_cast<int>(queue_.size());
}

void CUpdatePass::RequestNextFile()
{
    if (AtEnd()) {
        CompleteRun();
        return;
    }
    ++attempts_;
    window_.SetFileProgress(0);
    const IndexEntry& entry = queue_[current_];
    const std::wstring path = LocalPath(entry.name);
    const DWORD partial = ValidPartialSize(path, entry.fileTime);
    if (attempts_ == 1) {
        progress_.currentFileBytes = partial;
        uncountedBytes_ = partial;
        window_.SetCurrentFile(static_cast<DWORD>(entry.packageSize), fetchedFiles_ + static_cast<int>(current_),
                                entry.name.c_str());
    }
    // Only a package that is really there is complete.
    if (entry.packageSize <= MAXDWORD && partial == entry.packageSize && installDisk_.Size(path)) {
        next_ = Step::FileArrived;
        return;
    }
    keeper_.NotePackage(entry);
    Request(entry.name, partial, Step::FileArrived, entry.packageSize);
}

// The package installer makes the file; the launcher's own executable, which
// cannot be replaced while it runs, takes the self-update's road.
void CUpdatePass::OnPackageArrived(const std::wstring& packagePath)
{
    const IndexEntry& entry = queue_[current_];
    IndexEntry file = entry;
    file.name = CarriedName(entry.name);
    const std::wstring target = LocalPath(file.name);
    if (IsModuleFile(target)) {
        uint64_t received = 0;
        if (!PackageIsWhole(entry, packagePath, installDisk_, received))
            RejectPackage(packagePath, received);
        else
            UpdateLauncher(target, packagePath, file);
        return;
    }

    const InstallOutcome outcome = InstallPackage(file, packagePath, target, indexHasHashes_, installDisk_, keeper_);
    // Unpacking or hashing cut short by the stop: the file is not vouched
    // for, and the next pass installs it from the package it keeps.
    if (outcome.result != InstallResult::Installed && StopRequested())
        return;
    switch (outcome.result) {
    case InstallResult::WrongSize:
        RejectPackage(packagePath, outcome.received);
        return;
    case InstallResult::TargetLocked:
        WaitForHeldFile(target);
        return;
    case InstallResult::UnpackFailed:
        AddLog(LoadLangString(IDS_UNPACK_ERROR) + outcome.failure + L"\r\n");
        UncountPackage();
        HandleFailure(packagePath + kUnpackFailure, false);
        return;
    case InstallResult::Mismatch:
        LogMismatch(file.name, outcome.failure);
        HandleFailure(target + kContentMismatchFailure, true);
        return;
    case InstallResult::Installed:
        break;
    }

    heldFilePause_ = 0;
    AddLog(LoadLangString(IDS_FILE_UPDATED) + entry.name + L"\r\n");
    DateFile(target, entry.fileTime);
    if (current_ + 1 == queue_.size()) {
        window_.SetCurrentFile(0, PlannedFileCount(), LoadLangString(IDS_ALL_FILES_UP_TO_DATE));
        window_.SetFileProgress(1);
        CompleteRun();
        return;
    }
    attempts_ = 0;
    ++current_;
    next_ = Step::NextFile;
}

// The package of the current entry is not the one the index describes.
void CUpdatePass::RejectPackage(const std::wstring& packagePath, uint64_t received)
{
    const IndexEntry& entry = queue_[current_];
    OnMessage(FormatString(LoadLangString(IDS_FILE_SIZE_MISMATCH), entry.name.c_str(), ByteSizeText(received).c_str(),
                           ByteSizeText(entry.packageSize).c_str())
                  .c_str());
    UncountPackage();
    ::DeleteFileW(packagePath.c_str());
    HandleFailure(packagePath + kSizeMismatchFailure, true);
}

// Another program holds the file: its package is kept and the file tried
// again, after a pause that doubles up to 30 s, for as long as it takes. Who
// holds it is logged at each new pause; the failure is reported once.
void CUpdatePass::WaitForHeldFile(const std::wstring& target)
{
    const DWORD pause = heldFilePause_ == 0 ? 1 : std::min(heldFilePause_ * 2, kMostHeldFilePauseSeconds);
    if (pause != heldFilePause_) {
        AddLog(HeldFileText(target, pause) + L"\r\n");
        if (heldFilePause_ == 0 && reportLimit_.ShouldReport(target + kFileHeldFailure))
            reports_.SendFailure(kEventRequestFailed, progress_.Figures(), serverIndex_, target + kFileHeldFailure);
    }
    heldFilePause_ = pause;
    // A run killed meanwhile resumes the package as complete.
    DateCurrentPackage();
    if (::WaitForSingleObject(stopEvent_, pause * 1000) == WAIT_OBJECT_0)
        return;
    next_ = Step::FileArrived;
}

std::wstring CUpdatePass::HeldFileText(const std::wstring& target, DWORD pauseSeconds) const
{
    const std::vector<FileHolder> holders = FindFileHolders(target);
    const std::wstring game = ::PathFindFileNameW(LoadLangString(IDS_GAME_EXE));
    std::wstring names;
    for (const FileHolder& holder : holders) {
        const std::wstring image = holder.imagePath.empty() ? holder.name : holder.imagePath;
        if (EqualsNoCase(::PathFindFileNameW(image.c_str()), game))
            return FormatString(LoadLangString(IDS_FILE_HELD_BY_GAME), target.c_str(), pauseSeconds);
        names += (names.empty() ? L"" : L", ") + holder.name + L" (" + std::to_wstring(holder.processId) + L")";
    }
    if (names.empty())
        return FormatString(LoadLangString(IDS_FILE_HELD), target.c_str(), pauseSeconds);
    return FormatString(LoadLangString(IDS_FILE_HELD_BY), target.c_str(), names.c_str(), pauseSeconds);
}

// The current package is dropped: the bytes counted as done for it go.
void CUpdatePass::UncountPackage()
{
    progress_.overallBytesDone -= progress_.currentFileBytes - uncountedBytes_;
    progress_.currentFileBytes = 0;
    uncountedBytes_ = 0;
}

// A mirror in the middle of publishing may serve a package of another index.
void CUpdatePass::LogMismatch(const std::wstring& name, const std::wstring& failure)
{
    if (!failure.empty())
        AddLog(failure + L"\r\n");
    AddLog(kContentMismatchLine + name + L"\r\n");
}

bool CUpdatePass::UnpackSingle(const std::wstring& target, const std::wstring& package)
{
    if (!RemoveOldTarget(target)) {
        current_ = queue_.size();
        return false;
    }
    try {
        UnpackSinglePackage(package, target);
        return true;
    } catch (const CZipException& e) {
        AddLog(LoadLangString(IDS_UNPACK_ERROR) + AnsiToWide(e.Text()) + L"\r\n");
        return false;
    }
}

// The running executable is never deleted: its new version is unpacked
// beside it. Whatever the outcome but a hand-over, the pass goes on with the
// game's files: a skipped update is not asked for again in this run.
void CUpdatePass::UpdateLauncher(const std::wstring& target, const std::wstring& package, const IndexEntry& entry)
{
    CSelfUpdateDecision decision(handover_, keeper_, *this);
    switch (decision.Decide(target, package, entry, window_.GetWindowHandle(), closing_)) {
    case SelfUpdateOutcome::HandedOver:
        next_ = Step::Idle;
        return;
    case SelfUpdateOutcome::Mismatch:
        HandleFailure(target + kContentMismatchFailure, true);
        return;
    case SelfUpdateOutcome::NotRequired:
        keeper_.Vouch(entry);
        keeper_.Save();
        break;
    case SelfUpdateOutcome::Skipped:
        if (!selfUpdateSkipReported_) {
            selfUpdateSkipReported_ = true;
            reports_.SendFailure(kEventRequestFailed, progress_.Figures(), serverIndex_, target + kSelfUpdateSkipped);
        }
        break;
    }
    launcherHandled_ = true;
    next_ = Step::Plan;
}

void CUpdatePass::LogLine(const std::wstring& text)
{
    AddLog(text + L"\r\n");
}

void CUpdatePass::Date(const std::wstring& path, uint64_t fileTime)
{
    DateFile(path, fileTime);
}

bool CUpdatePass::Matches(const std::wstring& path, const IndexEntry& entry)
{
    std::wstring failure;
    if (installDisk_.Matches(path, entry, indexHasHashes_, failure))
        return true;
    LogMismatch(entry.name, failure);
    return false;
}

void CUpdatePass::CompleteRun()
{
    keeper_.Complete(planIndex_);
    finished_ = true;
}

// Resumed from whatever lies on disk: this package carries no file time.
void CUpdatePass::RequestFullPackage()
{
    ++attempts_;
    Request(wholeGame_.PackageName(), wholeGame_.BytesOnDisk(), Step::WholeGameArrived,
            CWholeGameRoad::PackageCap(planIndex_));
}

void CUpdatePass::OnStart(const wchar_t*, DWORD totalSize)
{
    if (totalSize > transferCap_) {
        refusedSize_ = totalSize;
        return;
    }
    // A resumed package the server holds no more of than we do: the client
    // sends nothing after this, and it arrives once the request has
    // returned.
    packageComplete_ = requestedOffset_ != 0 && totalSize == requestedOffset_;
    if (arrival_ != Step::WholeGameArrived)
        return;
    queue_.assign(1, wholeGame_.Announce(totalSize));
    current_ = 0;
    uncountedBytes_ = 0;
}

void CUpdatePass::UnpackFullPackage()
{
    const DWORD packageSize = wholeGame_.BytesOnDisk();
    const std::optional<int> files = wholeGame_.Unpack(stopEvent_);
    ClearQueue();
    if (files) {
        singlePackageDownload_ = false;
        attempts_ = 0;
        fetchedBytes_ = packageSize;
        fetchedFiles_ = *files;
        progress_.bytesToDownload = 0;
        progress_.overallBytesDone = 0;
        // The package's files were checked as they were written: the next
        // plan trusts them.
        integrityCheck_ = false;
        next_ = Step::Plan;
        return;
    }
    if (StopRequested())
        return;
    singlePackageDownload_ = false;
    HandleFailure(kFullPackageFailure, true);
}

// The single packages make the same game.
void CUpdatePass::LeaveWholeGameRoad()
{
    singlePackageDownload_ = false;
    ClearQueue();
}

void CUpdatePass::OnComplete(const wchar_t*)
{
    if (!finished_)
        next_ = arrival_;
}

void CUpdatePass::OnData(DWORD byteCount)
{
    reportLimit_.OnDataReceived();
    if (serverIndex_ >= 0 && static_cast<size_t>(serverIndex_) < serverFailures_.size())
        serverFailures_[static_cast<size_t>(serverIndex_)] = 0;
    // A server that sends more than the file may hold may not fill the disk.
    transferBytes_ += byteCount;
    if (transferBytes_ > transferCap_) {
        RefuseTransfer(transferBytes_);
        return;
    }
    Throttle(byteCount);
    if (StopRequested() || AtEnd())
        return;
    progress_.currentFileBytes += byteCount;
    progress_.overallBytesDone += byteCount;
    progress_.bytesSinceServerChoice += byteCount;
    speedWindowBytes_ += byteCount;
    progress_.progressChanged = true;

    const DWORD now = ::GetTickCount();
    const DWORD elapsed = now - speedWindowStart_;
    if (elapsed > kSpeedWindowMs) {
        progress_.speed = static_cast<DWORD>(static_cast<uint64_t>(speedWindowBytes_) * 1000 / elapsed);
        speedWindowStart_ = now;
        speedWindowBytes_ = 0;
        progress_.speedChanged = true;
    }
    if (attempts_ > 1)
        OnMessage(LoadLangString(IDS_TRANSFER_RESUMED));
    attempts_ = 1;
}

// Waits as long as the player's limit asks before the next chunk is read;
// the speed figure, taken over whole seconds, then shows the limited rate.
void CUpdatePass::Throttle(DWORD byteCount)
{
    ULONGLONG now = ::GetTickCount64();
    ReadSpeedLimit(now);
    DWORD wait = throttle_.Delay(byteCount, now);
    while (wait != 0) {
        const DWORD slice = std::min(wait, kThrottleSliceMs);
        if (::WaitForSingleObject(stopEvent_, slice) == WAIT_OBJECT_0)
            return;
        now = ::GetTickCount64();
        const uint32_t limit = throttle_.Limit();
        ReadSpeedLimit(now);
        wait = throttle_.Limit() == limit ? wait - slice : throttle_.Delay(0, now);
    }
}

void CUpdatePass::ReadSpeedLimit(ULONGLONG now)
{
    if (speedLimitKnown_ && now - speedLimitRead_ < kSpeedLimitReadMs)
        return;
    speedLimitKnown_ = true;
    speedLimitRead_ = now;
    throttle_.SetLimit(StoredDownloadSpeedLimit(g_settings) * 1024, now);
}

// A package the server no longer has was dropped by a publish this run has
// not seen: the index is fetched again.
void CUpdatePass::OnError(const wchar_t* text)
{
    DateCurrentPackage();
    // A request that our own stop interrupted is no failure of the server:
    // nothing to log, report or retry.
    if (StopRequested())
        return;
    AddLog(std::wstring(text) + L"\r\n");
    const bool gone = IsNotFound(text) && (arrival_ == Step::FileArrived || arrival_ == Step::WholeGameArrived);
    if (gone && arrival_ == Step::WholeGameArrived)
        LeaveWholeGameRoad();
    HandleFailure(text, gone);
}

// The clients name the request path each in its own spelling: the text is
// matched around it.
bool CUpdatePass::IsNotFound(const std::wstring& text) const
{
    const std::wstring pattern = FormatString(LoadLangString(IDS_HTTP_REQUEST_ERROR), L"\x01", kNotFoundStatus);
    const size_t hole = pattern.find(L'\x01');
    const size_t tail = pattern.size() - hole - 1;
    return text.size() >= hole + tail && text.compare(0, hole, pattern, 0, hole) == 0 &&
           text.compare(text.size() - tail, tail, pattern, hole + 1, tail) == 0;
}

void CUpdatePass::OnMessage(const wchar_t* text)
{
    AddLog(std::wstring(text) + L"\r\n");
}

void CUpdatePass::HandleFailure(const std::wstring& text, bool replan)
{
    const bool repeated = text == lastErrorText_;
    repeatsForSwitching_ = repeated ? repeatsForSwitching_ + 1 : 0;
    const bool report = reportLimit_.ShouldReport(text);
    ++progress_.errorCount;
    DateCurrentPackage();
    if (report)
        reports_.SendFailure(kEventRequestFailed, progress_.Figures(), serverIndex_, text);
    lastErrorText_ = text;
    if (clients_.Automatic() && repeatsForSwitching_ >= kRepeatsBeforeSwitching) {
        repeatsForSwitching_ = 0;
        Client().Cancel();
        SwitchClient(!clients_.UsesWinInet());
    }
    if (CountServerFailure()) {
        // Every server of the list keeps failing: the list may be stale.
        servers_.clear();
        serverFailures_.clear();
        ClearQueue();
        arrival_ = Step::ServerListArrived;
        replan = false;
    }
    retryReplan_ = replan;
    next_ = Step::Retry;
}

// True once every listed server has failed several times in a row.
bool CUpdatePass::CountServerFailure()
{
    if (serverIndex_ < 0 || static_cast<size_t>(serverIndex_) >= serverFailures_.size())
        return false;
    ++serverFailures_[static_cast<size_t>(serverIndex_)];
    return std::all_of(serverFailures_.begin(), serverFailures_.end(),
                       [](int failures) { return failures >= kServerFailuresInARow; });
}

// A failing server is asked again every 4 s, without limit.
void CUpdatePass::Retry(bool replan)
{
    if (!servers_.empty())
        ChooseServer();
    else if (Client().GetServer().empty())
        Client().Connect(LoadLangString(IDS_UPDATE_HOST));
    progress_.speed = 0;
    progress_.speedChanged = true;
    ::Sleep(kRetrySleepMs);
    if (!planIndex_.Entries().empty() && DiskNearlyFull()) {
        keeper_.Save();
        ClearQueue();
        next_ = Step::Plan;
        return;
    }
    if (replan) {
        keeper_.Save();
        // The old queue is done with: what arrives next is the index, and a
        // new plan follows it.
        ClearQueue();
        RequestIndexPackage();
        return;
    }
    OnMessage(FormatString(LoadLangString(IDS_DOWNLOAD_RETRY_WAIT), kRetryWaitSeconds).c_str());
    if (::WaitForSingleObject(stopEvent_, kRetryWaitMs) == WAIT_OBJECT_0)
        return;
    OnMessage(LoadLangString(IDS_WAIT_FINISHED));
    RequestAgain();
}

void CUpdatePass::RequestAgain()
{
    if (arrival_ == Step::WholeGameArrived)
        RequestFullPackage();
    else if (!AtEnd())
        RequestNextFile();
    else if (servers_.empty())
        RequestServerList();
    else
        RequestIndexPackage();
}

std::wstring CUpdatePass::LocalPath(const std::wstring& name) const
{
    return GamePath(gameFolder_, name);
}

// An interrupted package carries its entry's time, which makes it resumable.
void CUpdatePass::DateCurrentPackage()
{
    if (AtEnd())
        return;
    const IndexEntry& entry = queue_[current_];
    const std::wstring path = LocalPath(entry.name);
    if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        DateFile(path, entry.fileTime);
}

void CUpdatePass::DateFile(const std::wstring& path, uint64_t fileTime)
{
    UniqueHandle file(
        ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    const wchar_t* failure = nullptr;
    if (!file) {
        failure = L"Set64BitLastwriteFiletime failed to open file \"";
    } else {
        const FILETIME lastWrite{static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
        if (!::SetFileTime(file.Get(), nullptr, nullptr, &lastWrite))
            failure = L"SetFileTime failed. File \"";
    }
    if (!failure)
        return;
    const DWORD code = ::GetLastError();
    OnMessage((failure + path + L"\"").c_str());
    OnMessage(ErrorCodeText(code).c_str());
}

void CUpdatePass::AddLog(const std::wstring& text)
{
    window_.AddLogText(text.c_str());
}
