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
#include "support/file_replace.h"
#include "support/random.h"
#include "support/system_message.h"
#include "support/text_utils.h"
#include "telemetry/report_client.h"
#include "update/data_sources.h"
#include "update/file_digest.h"
#include "update/game_paths.h"
#include "update/package_journal.h"
#include "update/partial_package.h"
#include "update/single_package.h"
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
// A run killed outright loses at most the files completed in this time.
const DWORD kCachedIndexWriteMs = 2000;
const DWORD kSpeedWindowMs = 1000;
const DWORD kRetrySleepMs = 1000;
const int kRetryWaitSeconds = 3;
const DWORD kRetryWaitMs = kRetryWaitSeconds * 1000;
// The fourth identical failure in a row switches the client.
const int kRepeatsBeforeSwitching = 3;
const UINT kByteSizeChars = 64;

const wchar_t kNoHashesQuestion[] = L"Hash information is unavailable in received index file.\nProceed anyway?";
const wchar_t kSizeMismatchFailure[] = L" error_filesize_mismatch";
const wchar_t kUnpackFailure[] = L" error_unzipping";
const wchar_t kContentMismatchFailure[] = L" error_content_mismatch";
const wchar_t kContentMismatchLine[] = L"Unpacked file does not match the index: ";
const wchar_t kFullPackageFailure[] = L"one_file_unpack_error";
const wchar_t kUnsafeNameFailure[] = L"unsafe_file_name ";
const wchar_t kSkipSelfUpdate[] = L"Skip it and continue\r\n";
const DWORD kSkipSelfUpdatePauseMs = 1000;
const DWORD kCompareBlockBytes = 65536;

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

// None when there is no such file.
std::optional<uint64_t> FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    return static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

std::wstring ByteSizeText(uint64_t bytes)
{
    wchar_t text[kByteSizeChars];
    ::StrFormatByteSizeW(static_cast<LONGLONG>(bytes), text, kByteSizeChars);
    return text;
}

// Equal sizes first, then block by block; both files stay readable to others.
bool SameContent(const std::wstring& a, const std::wstring& b)
{
    UniqueHandle first(::CreateFileW(a.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    UniqueHandle second(::CreateFileW(b.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER firstSize, secondSize;
    if (!first || !second || !::GetFileSizeEx(first.Get(), &firstSize) || !::GetFileSizeEx(second.Get(), &secondSize) ||
        firstSize.QuadPart != secondSize.QuadPart)
        return false;
    std::vector<char> firstBlock(kCompareBlockBytes), secondBlock(kCompareBlockBytes);
    for (;;) {
        DWORD firstGot = 0, secondGot = 0;
        if (!::ReadFile(first.Get(), firstBlock.data(), kCompareBlockBytes, &firstGot, nullptr) ||
            !::ReadFile(second.Get(), secondBlock.data(), kCompareBlockBytes, &secondGot, nullptr) ||
            firstGot != secondGot)
            return false;
        if (firstGot == 0)
            return true;
        if (!std::equal(firstBlock.begin(), firstBlock.begin() + firstGot, secondBlock.begin()))
            return false;
    }
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
    fullPackageMode_ = false;
    idle_ = false;
    retryPending_ = false;
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
    RequestServerList();
    while (!finished_ && !StopRequested()) {
        if (retryPending_) {
            retryPending_ = false;
            Retry(retryReplan_);
        } else if (idle_) {
            ::WaitForSingleObject(stopEvent_.Get(), INFINITE);
        } else {
            Client().Process();
        }
        WriteCachedIndexIfDue();
    }
    if (finished_)
        return;
    WriteCachedIndex();
    Client().Cancel();
    DateCurrentPackage();
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

void CFileUpdater::Request(const std::wstring& name, DWORD offset)
{
    speedWindowStart_ = ::GetTickCount();
    speedWindowBytes_ = 0;
    requestedOffset_ = offset;
    packageComplete_ = false;
    const std::wstring localPath = LocalPath(name);
    Client().Download(RequestPath(serverDirectory_, name), localPath, offset);
    if (packageComplete_) {
        OnComplete(localPath.c_str());
        return;
    }
    // Both clients open the file where the answer continues it.
    const DWORD held = static_cast<DWORD>(FileSize(localPath).value_or(offset));
    packageBytes_ = held;
    if (held < offset && !AtEnd())
        CountRestart(offset - held);
}

// The transfer started over from 0: the bytes it had are counted again as
// they arrive.
void CFileUpdater::CountRestart(DWORD lost)
{
    currentFileBytes_ -= lost;
    // The whole-game package counts the bytes it had on disk as done; a
    // single package counts only what was missing at planning, which has
    // now grown.
    if (fullPackageMode_) {
        overallBytesDone_ -= lost;
    } else {
        uncountedBytes_ -= std::min(lost, uncountedBytes_);
        bytesToDownload_ += lost;
        window_->SetTotalSize(bytesToDownload_, static_cast<int>(queue_.size()));
    }
    progressChanged_ = true;
}

void CFileUpdater::RequestServerList()
{
    ++attempts_;
    serverDirectory_ = productKeyWord_;
    Request(kDataSourcesName, 0);
}

void CFileUpdater::OnServerListArrived()
{
    servers_ = ReadDataSources(LocalPath(kDataSourcesName));
    std::vector<std::wstring> hosts;
    for (const std::wstring& line : servers_)
        hosts.push_back(SplitServerLine(line, productKeyWord_).host);
    winInet_.SetRedirectHosts(hosts);
    poco_.SetRedirectHosts(hosts);
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
    Request(PackageName(kServerIndexName), 0);
}

void CFileUpdater::OnIndexPackageArrived()
{
    attempts_ = 0;
    bytesToDownload_ = 0;
    overallBytesDone_ = 0;
    queue_.clear();
    current_ = 0;
    if (!UnpackSingle(LocalPath(kServerIndexName), LocalPath(PackageName(kServerIndexName)))) {
        SignalStop();
        return;
    }
    const std::wstring cachedPath = LocalPath(kCachedIndexName);
    if (::GetFileAttributesW(cachedPath.c_str()) != INVALID_FILE_ATTRIBUTES)
        cachedIndex_.ReadFromFile(cachedPath);
    else
        integrityCheck_ = true;
    RestorePackageInFlight();
    Plan();
}

void CFileUpdater::Plan()
{
    queue_.clear();
    current_ = 0;
    FileIndex serverIndex;
    serverIndex.ReadFromFile(LocalPath(kServerIndexName));
    indexHasHashes_ = serverIndex.HasHashes();
    if (integrityCheck_) {
        cachedIndex_.Clear();
        if (!serverIndex.HasHashes() &&
            ::MessageBoxW(window_->GetWindowHandle(), kNoHashesQuestion, LoadLangString(IDS_PRODUCT_NAME),
                          MB_YESNO | MB_ICONQUESTION) != IDYES) {
            integrityCheck_ = false;
            Plan();
            return;
        }
        window_->SetFileCaption(IDS_CHECKING_FILES);
    }

    CGameFolderDisk disk(gameFolder_);
    const PlanSettings settings{ModuleFileName(), integrityCheck_, singlePackageDownload_, launcherHandled_};
    UpdatePlan plan = PlanUpdate(serverIndex, &cachedIndex_, settings, disk, *this);
    for (const std::wstring& name : plan.unsafeNames)
        AddLog(L"Unsafe file name in the index, skipped: " + name + L"\r\n");
    if (!plan.unsafeNames.empty() && !unsafeNamesReported_) {
        unsafeNamesReported_ = true;
        reports_->SendFailure(kEventRequestFailed, Figures(), serverIndex_, kUnsafeNameFailure + plan.unsafeNames[0]);
    }
    if (integrityCheck_)
        cachedIndex_ = std::move(plan.checkedIndex);
    if (!plan.failure.empty()) {
        reports_->SendFailure(kEventPlanFailed, Figures(), serverIndex_, plan.failure);
        AddLog(plan.failure + L"\r\n");
        // The queue is empty, so the retry fetches the index and plans again.
        retryPending_ = true;
        retryReplan_ = false;
        return;
    }
    if (integrityCheck_) {
        window_->SetFileCaption(IDS_DOWNLOADING);
        WriteCachedIndex();
    }
    bytesToDownload_ = static_cast<DWORD>(plan.bytesToDownload);
    if (plan.wholeGame)
        RequestFullPackage();
    else
        QueuePlan(plan);
}

void CFileUpdater::QueuePlan(UpdatePlan& plan)
{
    queue_ = std::move(plan.queue);
    current_ = 0;
    window_->SetTotalSize(bytesToDownload_, static_cast<int>(queue_.size()));
    if (queue_.empty()) {
        window_->SetCurrentFile(1, -1, LoadLangString(IDS_ALL_FILES_UP_TO_DATE));
        window_->SetFileProgress(1);
    }
    RequestNextFile();
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
    const DWORD partial = ValidPartialSize(LocalPath(entry.name), entry.fileTime);
    if (attempts_ == 1) {
        currentFileBytes_ = partial;
        uncountedBytes_ = partial;
        window_->SetCurrentFile(static_cast<DWORD>(entry.packageSize), static_cast<int>(current_),
                                entry.name.c_str());
    }
    if (entry.packageSize <= MAXDWORD && partial == entry.packageSize) {
        OnComplete(LocalPath(entry.name).c_str());
        return;
    }
    NotePackageInFlight(LocalPath(kPackageJournalName), entry);
    Request(entry.name, partial);
}

void CFileUpdater::OnPackageArrived(const std::wstring& packagePath)
{
    const IndexEntry entry = queue_[current_];
    const std::wstring name = CarriedName(entry.name);
    const std::wstring target = LocalPath(name);

    const std::optional<uint64_t> received = FileSize(packagePath);
    if (received && *received != entry.packageSize) {
        RejectPackage(packagePath, *received);
        return;
    }
    const bool launcher = IsModuleFile(target);
    IndexEntry unpacked = entry;
    unpacked.name = name;
    if (!(launcher ? UnpackLauncher(target, packagePath, unpacked) : UnpackSingle(target, packagePath))) {
        if (!closing_) {
            UncountPackage();
            HandleFailure(packagePath + kUnpackFailure, false);
        }
        return;
    }
    if (launcher) {
        Plan();
        return;
    }
    if (!UnpackedAsIndexed(target, unpacked)) {
        HandleFailure(target + kContentMismatchFailure, true);
        return;
    }

    AddLog(LoadLangString(IDS_FILE_UPDATED) + entry.name + L"\r\n");
    DateFile(target, entry.fileTime);
    cachedIndex_.AddOrReplace(unpacked);
    cachedIndexDirty_ = true;
    WriteCachedIndexIfDue();
    if (current_ + 1 == queue_.size()) {
        window_->SetCurrentFile(0, static_cast<int>(queue_.size()), LoadLangString(IDS_ALL_FILES_UP_TO_DATE));
        window_->SetFileProgress(1);
        CompleteRun();
        return;
    }
    attempts_ = 0;
    ++current_;
    RequestNextFile();
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
// A file that differs is recorded as it is, so that the cached index never
// vouches for the content it replaced.
bool CFileUpdater::UnpackedAsIndexed(const std::wstring& target, const IndexEntry& entry)
{
    IndexEntry found = entry;
    found.size = FileSize(target).value_or(0);
    found.md5 = {};
    if (indexHasHashes_ && found.size != 0) {
        try {
            found.md5 = FileDigest(target);
        } catch (const std::exception& e) {
            AddLog(AnsiToWide(e.what()) + L"\r\n");
        }
    }
    if (found.size == entry.size && (!indexHasHashes_ || entry.size == 0 || found.md5 == entry.md5))
        return true;
    AddLog(kContentMismatchLine + entry.name + L"\r\n");
    cachedIndex_.AddOrReplace(found);
    return false;
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
// beside it. A skipped update counts as handled, so the next plan goes on
// with the game's files.
bool CFileUpdater::UnpackLauncher(const std::wstring& target, const std::wstring& package, const IndexEntry& entry)
{
    const SelfUpdate outcome = DecideSelfUpdate(target, package, entry.fileTime);
    if (outcome != SelfUpdate::Skipped) {
        cachedIndex_.AddOrReplace(entry);
        WriteCachedIndex();
    }
    if (outcome == SelfUpdate::HandedOver)
        return false;
    launcherHandled_ = true;
    return true;
}

CFileUpdater::SelfUpdate CFileUpdater::DecideSelfUpdate(const std::wstring& target, const std::wstring& package,
                                                        uint64_t fileTime)
{
    const std::wstring copy = handover_->CopyPathOf(target);
    if (::GetFileAttributesW(copy.c_str()) != INVALID_FILE_ATTRIBUTES && !::DeleteFileW(copy.c_str())) {
        const std::wstring reason = SystemMessageText(::GetLastError());
        SkipSelfUpdate(L"Failed to delete " + copy + L"\r\n" + reason + L"\r\n" +
                       L"This file should be deleted to complete the launcher update process\r\n");
        return SelfUpdate::Skipped;
    }
    try {
        UnpackSinglePackage(package, copy);
    } catch (const CZipException& e) {
        SkipSelfUpdate(LoadLangString(IDS_UNPACK_ERROR) + AnsiToWide(e.Text()) + L"\r\n");
        return SelfUpdate::Skipped;
    }

    const std::wstring running = ModuleFilePath();
    if (SameContent(copy, running)) {
        AddLog(L"Self update is not required\r\n");
        ::DeleteFileW(copy.c_str());
        DateFile(running, fileTime);
        return SelfUpdate::NotRequired;
    }
    DateFile(copy, fileTime);
    closing_ = true;
    idle_ = true;
    handover_->MarkClosing();
    ::PostMessageW(window_->GetWindowHandle(), WM_CLOSE, 0, 0);
    handover_->StartCopy(copy);
    return SelfUpdate::HandedOver;
}

void CFileUpdater::SkipSelfUpdate(const std::wstring& lines)
{
    AddLog(lines + kSkipSelfUpdate);
    ::Sleep(kSkipSelfUpdatePauseMs);
}

void CFileUpdater::CompleteRun()
{
    const std::wstring serverIndex = LocalPath(kServerIndexName);
    if (::GetFileAttributesW(serverIndex.c_str()) != INVALID_FILE_ATTRIBUTES)
        CopyFileReplacing(serverIndex, LocalPath(kCachedIndexName));
    ::DeleteFileW(LocalPath(kPackageJournalName).c_str());
    finished_ = true;
}

// Resumed from whatever lies on disk: this package carries no file time.
void CFileUpdater::RequestFullPackage()
{
    ++attempts_;
    fullPackageMode_ = true;
    const std::wstring name = FullPackageName(productKeyWord_);
    Request(name, static_cast<DWORD>(FileSize(LocalPath(name)).value_or(0)));
}

void CFileUpdater::OnStart(const wchar_t* remotePath, DWORD totalSize)
{
    if (!fullPackageMode_) {
        // A resumed package the server holds no more of than we do: the
        // client sends nothing after this, and it arrives once the request
        // has returned.
        packageComplete_ = !AtEnd() && requestedOffset_ != 0 && totalSize == requestedOffset_;
        return;
    }
    IndexEntry package;
    package.name = FullPackageName(productKeyWord_);
    package.packageSize = totalSize;
    package.size = totalSize;
    package.fileTime = Now();
    queue_.assign(1, package);
    current_ = 0;

    const DWORD onDisk = static_cast<DWORD>(FileSize(LocalPath(package.name)).value_or(0));
    currentFileBytes_ = onDisk;
    uncountedBytes_ = 0;
    overallBytesDone_ = onDisk;
    bytesToDownload_ = totalSize;
    progressChanged_ = true;
    window_->SetTotalSize(totalSize, 1);
    window_->SetCurrentFile(totalSize, 0, package.name.c_str());
    if (onDisk == totalSize)
        UnpackFullPackage();
}

void CFileUpdater::UnpackFullPackage()
{
    speed_ = ILauncherWindow::kHideSpeed;
    fullPackageMode_ = false;
    speedChanged_ = true;
    const DWORD packageSize = queue_.empty() ? 0 : static_cast<DWORD>(queue_.front().packageSize);
    overallBytesDone_ = packageSize;
    bytesToDownload_ = packageSize;
    window_->SetFileCaption(IDS_UNPACKING_GAME_DATA);
    currentFileBytes_ = 0;

    const std::wstring package = LocalPath(FullPackageName(productKeyWord_));
    FileIndex packageIndex;
    if (UnpackGamePackage(package, this, stopEvent_.Get(), packageIndex)) {
        ::DeleteFileW(package.c_str());
        singlePackageDownload_ = false;
        queue_.clear();
        current_ = 0;
        window_->SetFileCaption(IDS_DOWNLOADING);
        attempts_ = 0;
        bytesToDownload_ = 0;
        overallBytesDone_ = 0;
        packageIndex.WriteToFile(LocalPath(kCachedIndexName));
        cachedIndex_ = std::move(packageIndex);
        // The package's files were checked as they were written: the next
        // plan trusts its index.
        integrityCheck_ = false;
        Plan();
        return;
    }
    if (StopRequested())
        return;
    singlePackageDownload_ = false;
    ::DeleteFileW(package.c_str());
    AddLog(LoadLangString(IDS_UNPACK_ERROR) + package + L"\r\n");
    queue_.clear();
    current_ = 0;
    HandleFailure(kFullPackageFailure, true);
}

void CFileUpdater::OnComplete(const wchar_t* localPath)
{
    if (finished_)
        return;
    if (fullPackageMode_)
        UnpackFullPackage();
    else if (!AtEnd())
        OnPackageArrived(localPath);
    else if (SameEntryName(::PathFindFileNameW(localPath), kDataSourcesName))
        OnServerListArrived();
    else
        OnIndexPackageArrived();
}

void CFileUpdater::OnData(DWORD byteCount)
{
    reportLimit_.OnDataReceived();
    if (StopRequested() || AtEnd())
        return;
    currentFileBytes_ += byteCount;
    overallBytesDone_ += byteCount;
    bytesSinceServerChoice_ += byteCount;
    speedWindowBytes_ += byteCount;
    progressChanged_ = true;
    // A server that sends more than the package may not fill the disk.
    packageBytes_ += byteCount;
    if (!fullPackageMode_ && packageBytes_ > queue_[current_].packageSize) {
        Client().Cancel();
        RejectPackage(LocalPath(queue_[current_].name), packageBytes_);
        return;
    }

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

void CFileUpdater::OnError(const wchar_t* text)
{
    AddLog(std::wstring(text) + L"\r\n");
    DateCurrentPackage();
    HandleFailure(text, false);
}

void CFileUpdater::OnMessage(const wchar_t* text)
{
    AddLog(std::wstring(text) + L"\r\n");
}

void CFileUpdater::OnUnpackFileDone(const IndexEntry&)
{
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
    retryPending_ = true;
    retryReplan_ = replan;
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
        WriteCachedIndex();
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
    if (fullPackageMode_)
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

void CFileUpdater::WriteCachedIndex()
{
    cachedIndex_.WriteToFile(LocalPath(kCachedIndexName));
    cachedIndexDirty_ = false;
    lastCachedIndexWrite_ = ::GetTickCount();
}

void CFileUpdater::WriteCachedIndexIfDue()
{
    if (cachedIndexDirty_ && ::GetTickCount() - lastCachedIndexWrite_ >= kCachedIndexWriteMs)
        WriteCachedIndex();
}

// A run killed outright could not date its package; the note it left does.
void CFileUpdater::RestorePackageInFlight()
{
    const std::optional<IndexEntry> package = TakePackageInFlight(LocalPath(kPackageJournalName));
    if (!package || !IsSafeEntryName(package->name))
        return;
    const std::wstring path = LocalPath(package->name);
    if (FileSize(path))
        DateFile(path, package->fileTime);
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
