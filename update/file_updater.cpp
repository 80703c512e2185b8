#include "update/file_updater.h"

#include <wininet.h>
#include <shlwapi.h>

#include <algorithm>
#include <optional>

#include "services/settings_store.h"
#include "services/string_ids.h"
#include "services/string_table.h"
#include "support/message_wait.h"
#include "support/gzip/zip_codec.h"
#include "support/module_path.h"
#include "support/random.h"
#include "support/system_message.h"
#include "support/text_utils.h"
#include "telemetry/report_client.h"
#include "update/data_sources.h"
#include "update/game_paths.h"
#include "update/partial_package.h"
#include "update/single_package.h"
#include "update/package_installer.h"
#include "update/self_update_decision.h"
#include "update/update_plan.h"

namespace {

const wchar_t kOneFileDownloadSetting[] = L"Debug\\OneFileDownload";
const wchar_t kHttpPreferenceSetting[] = L"Debug\\HttpPreference";
const wchar_t kUseWinInetSetting[] = L"Debug\\UseWinInet";
const wchar_t kHashCheckSetting[] = L"Debug/HashCheck";
const wchar_t kHashCheckAfterCrashSetting[] = L"Debug/HashCheckAfterCrash";

const int kPreferAutomatic = 0;
const int kPreferWinInet = 2;

const DWORD kStopWaitMs = 20000;
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
// Stored blocks add a few bytes per block to data that does not shrink.
const uint64_t kIncompressibleGrowth = 1000;
const uint64_t kPackageSlack = 1024 * 1024;
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

bool SelectsWinInet(int preference)
{
    if (preference == kPreferAutomatic)
        return g_settings.GetBool(kUseWinInetSetting, false);
    return preference == kPreferWinInet;
}

// The name of the file a package carries: the package's name without ".zip".
std::wstring CarriedName(const std::wstring& packageName)
{
    return packageName.substr(0, packageName.size() - std::char_traits<wchar_t>::length(kPackageSuffix));
}

std::wstring ByteSizeText(uint64_t bytes)
{
    wchar_t text[kByteSizeChars];
    ::StrFormatByteSizeW(static_cast<LONGLONG>(bytes), text, kByteSizeChars);
    return text;
}

uint64_t Now()
{
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    return static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
}

} // namespace

CFileUpdater::CFileUpdater(ILauncherWindow* window, CReportClient* reports, ILauncherHandover* handover,
                           bool launcherWasUpdated)
    : window_(window),
      reports_(reports),
      handover_(handover),
      launcherWasUpdated_(launcherWasUpdated),
      gameFolder_(LoadLangString(IDS_GAME_FOLDER)),
      productKeyWord_(LoadLangString(IDS_SERVER_DIRECTORY)),
      httpPreference_(g_settings.GetInt(kHttpPreferenceSetting, kPreferAutomatic)),
      keeperFiles_(gameFolder_),
      keeper_(keeperFiles_),
      singlePackageDownload_(g_settings.GetBool(kOneFileDownloadSetting, true))
{
    useWinInet_ = SelectsWinInet(httpPreference_);
}

CFileUpdater::~CFileUpdater()
{
    if (!worker_)
        return;
    StopWorker();
    if (!finished_)
        Client().Cancel();
}

void CFileUpdater::Start()
{
    // A worker that has just finished may still be ending; the queue and the
    // clients are touched only once it has.
    StopWorker();
    window_->SetFileCaption(IDS_DOWNLOADING);
    window_->SetCountCaption(IDS_FILES_DOWNLOADED);
    window_->SetStageTitle(IDS_STAGE_UPDATING);
    window_->SetCurrentFile(0, 0, L"");
    window_->SetTotalSize(0, 0);
    window_->SetTotalProgress(0);
    queue_.clear();
    current_ = 0;
    fetchedBytes_ = 0;
    fetchedFiles_ = 0;
    if (launcherWasUpdated_)
        OnMessage(LoadLangString(IDS_LAUNCHER_UPDATED));

    DWORD connection = 0;
    if (!::InternetGetConnectedState(&connection, 0)) {
        FinishRun();
        return;
    }

    winInet_.SetEvents(this);
    poco_.SetEvents(this);
    if (!stopEvent_)
        stopEvent_.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ::ResetEvent(stopEvent_.Get());
    stopSignalled_ = false;
    serverDirectory_ = productKeyWord_;
    Client().Connect(LoadLangString(IDS_UPDATE_HOST));

    if (!integrityCheck_) {
        bool check = g_settings.GetBool(kHashCheckSetting, false);
        if (!check && GameCrashLogExists())
            check = g_settings.GetBool(kHashCheckAfterCrashSetting, true);
        integrityCheck_ = check;
    }

    // A restart begins a new pass: nothing of the last one is pending.
    next_ = Step::RequestServerList;
    if (!finished_)
        worker_.Reset(::CreateThread(nullptr, 0, WorkerMain, this, 0, nullptr));
    if (!launcherWasUpdated_)
        reports_->SendStartReports();
}

void CFileUpdater::Stop()
{
    if (finished_ || closing_)
        return;
    reports_->SendStop(Figures());
    StopWorker();
}

void CFileUpdater::OnTimer(double elapsedSeconds)
{
    if (progressChanged_.exchange(false)) {
        const DWORD overall = overallBytesDone_;
        if (overall != 0)
            window_->SetTotalProgress(overall);
        window_->SetFileProgress(currentFileBytes_);
    }
    if (!finished_ && speedChanged_.exchange(false))
        window_->SetSpeed(speed_);
    if (finished_ && worker_) {
        StopWorker();
        FinishRun();
    }
    // Closing the window destroys this job: nothing may follow.
    if (game_.ShouldClose(elapsedSeconds))
        window_->Close();
}

void CFileUpdater::LaunchGame()
{
    game_.Launch(*window_, *reports_);
}

bool CFileUpdater::CheckFiles()
{
    if (!finished_)
        return false;
    finished_ = false;
    integrityCheck_ = true;
    singlePackageDownload_ = false;
    Start();
    return true;
}

bool CFileUpdater::IsFinished()
{
    return finished_;
}

void CFileUpdater::SetHttpPreference(int preference)
{
    httpPreference_ = preference;
    g_settings.SetInt(kHttpPreferenceSetting, preference);
    const bool wanted = SelectsWinInet(preference);
    if (preference == kPreferAutomatic || wanted == useWinInet_)
        return;
    const bool wasFinished = finished_;
    if (!wasFinished) {
        StopWorker();
        Client().Cancel();
    }
    SwitchClient(wanted);
    if (!wasFinished)
        Start();
}

DWORD WINAPI CFileUpdater::WorkerMain(void* self)
{
    static_cast<CFileUpdater*>(self)->RunWorker();
    return 0;
}

void CFileUpdater::RunWorker()
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

void CFileUpdater::Advance(Step step)
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
        ::WaitForSingleObject(stopEvent_.Get(), INFINITE);
        next_ = Step::Idle;
        break;
    }
}

// A worker that does not end in time is left running on its own. It may be
// in a call to the window, which runs on this thread: those calls go on.
void CFileUpdater::StopWorker()
{
    if (!worker_)
        return;
    SignalStop();
    // A request waiting on a slow server ends now, not at its deadline.
    Client().Interrupt();
    WaitDeliveringSentMessages(worker_.Get(), kStopWaitMs);
    worker_.Reset();
}

// The worker asks between every two chunks: a flag beside the event spares
// it a call into the system (a round trip to the Wine server) each time.
bool CFileUpdater::StopRequested() const
{
    return stopSignalled_;
}

void CFileUpdater::SignalStop()
{
    stopSignalled_ = true;
    ::SetEvent(stopEvent_.Get());
}

void CFileUpdater::FinishRun()
{
    reports_->SendUpdateFinished(bytesSinceServerChoice_);
    window_->SetSpeed(ILauncherWindow::kHideSpeed);
    window_->OnProcessFinished();
    if (window_->IsAutoStartChecked())
        LaunchGame();
}

IHttpClient& CFileUpdater::Client()
{
    if (useWinInet_)
        return winInet_;
    return poco_;
}

void CFileUpdater::SwitchClient(bool useWinInet)
{
    if (useWinInet == useWinInet_)
        return;
    useWinInet_ = useWinInet;
    OnMessage(FormatString(LoadLangString(IDS_SWITCHING_CLIENT), useWinInet ? L"WinINet" : L"POCO").c_str());
    g_settings.SetBool(kUseWinInetSetting, useWinInet);
}

void CFileUpdater::Request(const std::wstring& name, DWORD offset, Step arrival, uint64_t cap)
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
void CFileUpdater::RefuseTransfer(uint64_t size)
{
    Client().Cancel();
    if (arrival_ == Step::FileArrived) {
        RejectPackage(requestedLocal_, size);
        return;
    }
    ::DeleteFileW(requestedLocal_.c_str());
    AddLog(requestedLocal_ + kTooLargeLine + ByteSizeText(size) + L"\r\n");
    if (arrival_ == Step::WholeGameArrived) {
        // The single packages make the same game.
        singlePackageDownload_ = false;
        queue_.clear();
        current_ = 0;
        HandleFailure(requestedLocal_ + kTooLargeFailure, true);
        return;
    }
    HandleFailure(requestedLocal_ + kTooLargeFailure, false);
}

// The transfer started over from 0: the bytes it had are counted again as
// they arrive.
void CFileUpdater::CountRestart(DWORD lost)
{
    currentFileBytes_ -= lost;
    // The whole-game package counts the bytes it had on disk as done; a
    // single package counts only what was missing at planning, which has
    // now grown.
    if (arrival_ == Step::WholeGameArrived) {
        overallBytesDone_ -= lost;
    } else {
        uncountedBytes_ -= std::min(lost, uncountedBytes_);
        bytesToDownload_ += lost;
        window_->SetTotalSize(bytesToDownload_, PlannedFileCount());
    }
    progressChanged_ = true;
}

// Always from the default update host, which hands out the list.
void CFileUpdater::RequestServerList()
{
    ++attempts_;
    serverDirectory_ = productKeyWord_;
    Client().Connect(LoadLangString(IDS_UPDATE_HOST));
    Request(kDataSourcesName, 0, Step::ServerListArrived, kServerListCap);
}

void CFileUpdater::OnServerListArrived()
{
    servers_ = ReadDataSources(LocalPath(kDataSourcesName));
    std::vector<std::wstring> hosts;
    for (const std::wstring& line : servers_)
        hosts.push_back(SplitServerLine(line, productKeyWord_).host);
    winInet_.SetRedirectHosts(hosts);
    poco_.SetRedirectHosts(hosts);
    serverFailures_.assign(servers_.size(), 0);
    ChooseServer();
    RequestIndexPackage();
}

void CFileUpdater::ChooseServer()
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
    reports_->RestartTimer();
    bytesSinceServerChoice_ = 0;
}

void CFileUpdater::RequestIndexPackage()
{
    window_->SetFileCaption(IDS_DOWNLOADING);
    ++attempts_;
    Request(PackageName(kServerIndexName), 0, Step::IndexArrived, kIndexPackageCap);
}

// An index package that does not unpack (a page in its place, a damaged
// copy) is a failure of this server like any other: another one is asked.
void CFileUpdater::OnIndexPackageArrived()
{
    attempts_ = 0;
    bytesToDownload_ = 0;
    overallBytesDone_ = 0;
    queue_.clear();
    current_ = 0;
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
void CFileUpdater::LoadCachedIndex()
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

void CFileUpdater::Plan()
{
    queue_.clear();
    current_ = 0;
    planIndex_ = FileIndex();
    planIndex_.ReadFromFile(LocalPath(kServerIndexName));
    indexHasHashes_ = planIndex_.HasHashes();
    const FileIndex* against = &keeper_.Vouched();
    if (integrityCheck_) {
        if (!planIndex_.HasHashes() &&
            ::MessageBoxW(window_->GetWindowHandle(), kNoHashesQuestion, LoadLangString(IDS_PRODUCT_NAME),
                          MB_YESNO | MB_ICONQUESTION) != IDYES) {
            // Without digests the disk decides by sizes alone.
            integrityCheck_ = false;
            against = nullptr;
        } else {
            window_->SetFileCaption(IDS_CHECKING_FILES);
        }
    }

    CGameFolderDisk disk(gameFolder_);
    const PlanSettings settings{ModuleFileName(), integrityCheck_, singlePackageDownload_, launcherHandled_};
    UpdatePlan plan = PlanUpdate(planIndex_, against, settings, disk, *this);
    for (const std::wstring& name : plan.unsafeNames)
        AddLog(L"Unsafe file name in the index, skipped: " + name + L"\r\n");
    if (!plan.unsafeNames.empty() && !unsafeNamesReported_) {
        unsafeNamesReported_ = true;
        reports_->SendFailure(kEventRequestFailed, Figures(), serverIndex_, kUnsafeNameFailure + plan.unsafeNames[0]);
    }
    if (!plan.failure.empty()) {
        reports_->SendFailure(kEventPlanFailed, Figures(), serverIndex_, plan.failure);
        AddLog(plan.failure + L"\r\n");
        // The queue is empty, so the retry fetches the index and plans again.
        retryReplan_ = false;
        next_ = Step::Retry;
        return;
    }
    if (integrityCheck_) {
        // Hashed once per check: later plans of this run trust what it found.
        window_->SetFileCaption(IDS_DOWNLOADING);
        keeper_.Adopt(plan.checkedIndex);
        integrityCheck_ = false;
    }
    for (const IndexEntry& entry : plan.foundOnDisk)
        keeper_.Vouch(entry);
    bytesToDownload_ = static_cast<DWORD>(plan.bytesToDownload);
    if (plan.wholeGame)
        RequestFullPackage();
    else
        QueuePlan(plan);
}

// What this run installed before keeps its place in the figures.
void CFileUpdater::QueuePlan(UpdatePlan& plan)
{
    queue_ = std::move(plan.queue);
    current_ = 0;
    bytesToDownload_ = bytesToDownload_ + fetchedBytes_;
    overallBytesDone_ = fetchedBytes_;
    progressChanged_ = true;
    window_->SetTotalSize(bytesToDownload_, PlannedFileCount());
    if (queue_.empty()) {
        if (fetchedFiles_ != 0)
            window_->SetCurrentFile(0, fetchedFiles_, LoadLangString(IDS_ALL_FILES_UP_TO_DATE));
        else
            window_->SetCurrentFile(1, -1, LoadLangString(IDS_ALL_FILES_UP_TO_DATE));
        window_->SetFileProgress(1);
    }
    next_ = Step::NextFile;
}

int CFileUpdater::PlannedFileCount() const
{
    return fetchedFiles_ + static_cast<int>(queue_.size());
}

void CFileUpdater::RequestNextFile()
{
    if (AtEnd()) {
        CompleteRun();
        return;
    }
    ++attempts_;
    window_->SetFileProgress(0);
    const IndexEntry& entry = queue_[current_];
    const std::wstring path = LocalPath(entry.name);
    const DWORD partial = ValidPartialSize(path, entry.fileTime);
    if (attempts_ == 1) {
        currentFileBytes_ = partial;
        uncountedBytes_ = partial;
        window_->SetCurrentFile(static_cast<DWORD>(entry.packageSize), fetchedFiles_ + static_cast<int>(current_),
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
void CFileUpdater::OnPackageArrived(const std::wstring& packagePath)
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
    switch (outcome.result) {
    case InstallResult::WrongSize:
        RejectPackage(packagePath, outcome.received);
        return;
    case InstallResult::TargetLocked:
    case InstallResult::UnpackFailed:
        if (outcome.result == InstallResult::TargetLocked)
            current_ = queue_.size();
        else
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

    AddLog(LoadLangString(IDS_FILE_UPDATED) + entry.name + L"\r\n");
    DateFile(target, entry.fileTime);
    if (current_ + 1 == queue_.size()) {
        window_->SetCurrentFile(0, PlannedFileCount(), LoadLangString(IDS_ALL_FILES_UP_TO_DATE));
        window_->SetFileProgress(1);
        CompleteRun();
        return;
    }
    attempts_ = 0;
    ++current_;
    next_ = Step::NextFile;
}

// The package of the current entry is not the one the index describes.
void CFileUpdater::RejectPackage(const std::wstring& packagePath, uint64_t received)
{
    const IndexEntry& entry = queue_[current_];
    OnMessage(FormatString(LoadLangString(IDS_FILE_SIZE_MISMATCH), entry.name.c_str(), ByteSizeText(received).c_str(),
                           ByteSizeText(entry.packageSize).c_str())
                  .c_str());
    UncountPackage();
    ::DeleteFileW(packagePath.c_str());
    HandleFailure(packagePath + kSizeMismatchFailure, true);
}

// The current package is dropped: the bytes counted as done for it go.
void CFileUpdater::UncountPackage()
{
    overallBytesDone_ -= currentFileBytes_ - uncountedBytes_;
    currentFileBytes_ = 0;
    uncountedBytes_ = 0;
}

// A mirror in the middle of publishing may serve a package of another index.
void CFileUpdater::LogMismatch(const std::wstring& name, const std::wstring& failure)
{
    if (!failure.empty())
        AddLog(failure + L"\r\n");
    AddLog(kContentMismatchLine + name + L"\r\n");
}

bool CFileUpdater::UnpackSingle(const std::wstring& target, const std::wstring& package)
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
void CFileUpdater::UpdateLauncher(const std::wstring& target, const std::wstring& package, const IndexEntry& entry)
{
    CSelfUpdateDecision decision(*handover_, keeper_, *this);
    switch (decision.Decide(target, package, entry, window_->GetWindowHandle(), closing_)) {
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
            reports_->SendFailure(kEventRequestFailed, Figures(), serverIndex_, target + kSelfUpdateSkipped);
        }
        break;
    }
    launcherHandled_ = true;
    next_ = Step::Plan;
}

void CFileUpdater::LogLine(const std::wstring& text)
{
    AddLog(text + L"\r\n");
}

void CFileUpdater::Date(const std::wstring& path, uint64_t fileTime)
{
    DateFile(path, fileTime);
}

bool CFileUpdater::Matches(const std::wstring& path, const IndexEntry& entry)
{
    std::wstring failure;
    if (installDisk_.Matches(path, entry, indexHasHashes_, failure))
        return true;
    LogMismatch(entry.name, failure);
    return false;
}

void CFileUpdater::CompleteRun()
{
    keeper_.Complete(planIndex_);
    finished_ = true;
}

// Resumed from whatever lies on disk: this package carries no file time.
void CFileUpdater::RequestFullPackage()
{
    ++attempts_;
    const std::wstring name = FullPackageName(productKeyWord_);
    Request(name, static_cast<DWORD>(installDisk_.Size(LocalPath(name)).value_or(0)), Step::WholeGameArrived,
            FullPackageCap());
}

// The package holds the server's index and every file it lists; compressed
// data that does not shrink grows by a little per block.
uint64_t CFileUpdater::FullPackageCap() const
{
    std::string image;
    planIndex_.Serialize(image);
    const uint64_t content = planIndex_.TotalSize() + image.size();
    return std::min<uint64_t>(content + content / kIncompressibleGrowth + kPackageSlack, MAXDWORD);
}

void CFileUpdater::OnStart(const wchar_t*, DWORD totalSize)
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
    IndexEntry package;
    package.name = FullPackageName(productKeyWord_);
    package.packageSize = totalSize;
    package.size = totalSize;
    package.fileTime = Now();
    queue_.assign(1, package);
    current_ = 0;

    const DWORD onDisk = static_cast<DWORD>(installDisk_.Size(LocalPath(package.name)).value_or(0));
    currentFileBytes_ = onDisk;
    uncountedBytes_ = 0;
    overallBytesDone_ = onDisk;
    bytesToDownload_ = totalSize;
    progressChanged_ = true;
    window_->SetTotalSize(totalSize, 1);
    window_->SetCurrentFile(totalSize, 0, package.name.c_str());
}

void CFileUpdater::UnpackFullPackage()
{
    speed_ = ILauncherWindow::kHideSpeed;
    speedChanged_ = true;
    const std::wstring package = LocalPath(FullPackageName(productKeyWord_));
    const DWORD packageSize = static_cast<DWORD>(installDisk_.Size(package).value_or(0));
    overallBytesDone_ = packageSize;
    bytesToDownload_ = packageSize;
    window_->SetFileCaption(IDS_UNPACKING_GAME_DATA);
    currentFileBytes_ = 0;

    FileIndex packageIndex;
    const bool unpacked = UnpackGamePackage(package, this, stopEvent_.Get(), packageIndex);
    // The files it finished were vouched for one by one, the one it was
    // writing when it failed was not.
    keeper_.Save();
    queue_.clear();
    current_ = 0;
    if (unpacked) {
        ::DeleteFileW(package.c_str());
        singlePackageDownload_ = false;
        window_->SetFileCaption(IDS_DOWNLOADING);
        attempts_ = 0;
        fetchedBytes_ = packageSize;
        fetchedFiles_ = static_cast<int>(packageIndex.Entries().size());
        bytesToDownload_ = 0;
        overallBytesDone_ = 0;
        // The package's files were checked as they were written: the next
        // plan trusts them.
        integrityCheck_ = false;
        next_ = Step::Plan;
        return;
    }
    if (StopRequested())
        return;
    singlePackageDownload_ = false;
    ::DeleteFileW(package.c_str());
    AddLog(LoadLangString(IDS_UNPACK_ERROR) + package + L"\r\n");
    HandleFailure(kFullPackageFailure, true);
}

void CFileUpdater::OnComplete(const wchar_t*)
{
    if (!finished_)
        next_ = arrival_;
}

void CFileUpdater::OnData(DWORD byteCount)
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
    if (StopRequested() || AtEnd())
        return;
    currentFileBytes_ += byteCount;
    overallBytesDone_ += byteCount;
    bytesSinceServerChoice_ += byteCount;
    speedWindowBytes_ += byteCount;
    progressChanged_ = true;

    const DWORD now = ::GetTickCount();
    const DWORD elapsed = now - speedWindowStart_;
    if (elapsed > kSpeedWindowMs) {
        speed_ = static_cast<DWORD>(static_cast<uint64_t>(speedWindowBytes_) * 1000 / elapsed);
        speedWindowStart_ = now;
        speedWindowBytes_ = 0;
        speedChanged_ = true;
    }
    if (attempts_ > 1)
        OnMessage(LoadLangString(IDS_TRANSFER_RESUMED));
    attempts_ = 1;
}

// A package the server no longer has was dropped by a publish this run has
// not seen: the index is fetched again.
void CFileUpdater::OnError(const wchar_t* text)
{
    DateCurrentPackage();
    // A request that our own stop interrupted is no failure of the server:
    // nothing to log, report or retry.
    if (StopRequested())
        return;
    AddLog(std::wstring(text) + L"\r\n");
    const bool gone = IsNotFound(text) && (arrival_ == Step::FileArrived || arrival_ == Step::WholeGameArrived);
    if (gone && arrival_ == Step::WholeGameArrived) {
        singlePackageDownload_ = false;
        queue_.clear();
        current_ = 0;
    }
    HandleFailure(text, gone);
}

// The clients name the request path each in its own spelling: the text is
// matched around it.
bool CFileUpdater::IsNotFound(const std::wstring& text) const
{
    const std::wstring pattern = FormatString(LoadLangString(IDS_HTTP_REQUEST_ERROR), L"\x01", kNotFoundStatus);
    const size_t hole = pattern.find(L'\x01');
    const size_t tail = pattern.size() - hole - 1;
    return text.size() >= hole + tail && text.compare(0, hole, pattern, 0, hole) == 0 &&
           text.compare(text.size() - tail, tail, pattern, hole + 1, tail) == 0;
}

void CFileUpdater::OnMessage(const wchar_t* text)
{
    AddLog(std::wstring(text) + L"\r\n");
}

// Runs on the unpacker's writing thread while the worker waits for it.
void CFileUpdater::OnUnpackFileBegin(const IndexEntry& entry)
{
    keeper_.Unvouch(entry.name);
}

void CFileUpdater::OnUnpackFileDone(const IndexEntry& entry)
{
    keeper_.Vouch(entry);
    keeper_.SaveIfDue(::GetTickCount());
}

void CFileUpdater::OnUnpackBytes(uint32_t count)
{
    currentFileBytes_ += count;
    progressChanged_ = true;
}

void CFileUpdater::OnUnpackBegin(uint64_t totalSize)
{
    window_->SetCurrentFile(static_cast<DWORD>(totalSize), 0, L"");
    currentFileBytes_ = 0;
    progressChanged_ = true;
}

void CFileUpdater::HandleFailure(const std::wstring& text, bool replan)
{
    const bool repeated = text == lastErrorText_;
    repeatsForSwitching_ = repeated ? repeatsForSwitching_ + 1 : 0;
    const bool report = reportLimit_.ShouldReport(text);
    ++errorCount_;
    DateCurrentPackage();
    if (report)
        reports_->SendFailure(kEventRequestFailed, Figures(), serverIndex_, text);
    lastErrorText_ = text;
    if (httpPreference_ == kPreferAutomatic && repeatsForSwitching_ >= kRepeatsBeforeSwitching) {
        repeatsForSwitching_ = 0;
        Client().Cancel();
        SwitchClient(!useWinInet_);
    }
    if (CountServerFailure()) {
        // Every server of the list keeps failing: the list may be stale.
        servers_.clear();
        serverFailures_.clear();
        queue_.clear();
        current_ = 0;
        arrival_ = Step::ServerListArrived;
        replan = false;
    }
    retryReplan_ = replan;
    next_ = Step::Retry;
}

// True once every listed server has failed several times in a row.
bool CFileUpdater::CountServerFailure()
{
    if (serverIndex_ < 0 || static_cast<size_t>(serverIndex_) >= serverFailures_.size())
        return false;
    ++serverFailures_[static_cast<size_t>(serverIndex_)];
    return std::all_of(serverFailures_.begin(), serverFailures_.end(),
                       [](int failures) { return failures >= kServerFailuresInARow; });
}

// A failing server is asked again every 4 s, without limit.
void CFileUpdater::Retry(bool replan)
{
    if (!servers_.empty())
        ChooseServer();
    else if (Client().GetServer().empty())
        Client().Connect(LoadLangString(IDS_UPDATE_HOST));
    speed_ = 0;
    speedChanged_ = true;
    ::Sleep(kRetrySleepMs);
    if (replan) {
        keeper_.Save();
        // The old queue is done with: what arrives next is the index, and a
        // new plan follows it.
        queue_.clear();
        current_ = 0;
        RequestIndexPackage();
        return;
    }
    OnMessage(FormatString(LoadLangString(IDS_DOWNLOAD_RETRY_WAIT), kRetryWaitSeconds).c_str());
    if (::WaitForSingleObject(stopEvent_.Get(), kRetryWaitMs) == WAIT_OBJECT_0)
        return;
    OnMessage(LoadLangString(IDS_WAIT_FINISHED));
    RequestAgain();
}

void CFileUpdater::RequestAgain()
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

std::wstring CFileUpdater::LocalPath(const std::wstring& name) const
{
    return GamePath(gameFolder_, name);
}

// An interrupted package carries its entry's time, which makes it resumable.
void CFileUpdater::DateCurrentPackage()
{
    if (AtEnd())
        return;
    const IndexEntry& entry = queue_[current_];
    const std::wstring path = LocalPath(entry.name);
    if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        DateFile(path, entry.fileTime);
}

void CFileUpdater::DateFile(const std::wstring& path, uint64_t fileTime)
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

RunFigures CFileUpdater::Figures() const
{
    RunFigures figures;
    figures.percent = ProgressPercent(overallBytesDone_, bytesToDownload_);
    figures.errors = errorCount_;
    figures.bytes = bytesSinceServerChoice_;
    return figures;
}

void CFileUpdater::AddLog(const std::wstring& text)
{
    window_->AddLogText(text.c_str());
}
