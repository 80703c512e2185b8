#include "telemetry/report_client.h"

#include <chrono>
#include <ctime>
#include <vector>

#include "services/machine_id.h"
#include "services/settings_store.h"
#include "services/string_ids.h"
#include "services/string_table.h"
#include "support/win_handles.h"
#include "telemetry/hardware_survey.h"

namespace {

const wchar_t kHardwareReportedSetting[] = L"Debug\\HW";
const wchar_t kErrorLogPattern[] = L"Errors\\*.txt";
const wchar_t kErrorFolder[] = L"Errors\\";
// Every byte of a log becomes at least one encoded character, so no more than
// this can reach the server: the limit, and the lead byte of a character the
// cut would split. A huge log is never read whole.
const DWORD kErrorLogReadLimit = kErrorLogChars + 1;
// At exit, after the grace: how often, and how far apart, a post still under
// way is told to end before the sender is left to the process's end.
const int kStopAttempts = 20;
const int kStopPollMs = 100;

long long Now()
{
    return _time64(nullptr);
}

std::string Identifier()
{
    return ReportIdentifier(GetMachineId());
}

std::vector<std::wstring> ErrorLogNames()
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    UniqueFindHandle search(::FindFirstFileW(kErrorLogPattern, &found));
    if (!search)
        return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(found.cFileName);
    } while (::FindNextFileW(search.Get(), &found));
    return names;
}

// False when the file cannot be opened, for example while the game still
// writes it: it stays for the next start.
bool ReadErrorLog(const std::wstring& path, std::string& bytes)
{
    UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    bytes.assign(kErrorLogReadLimit, '\0');
    DWORD total = 0;
    DWORD read = 0;
    while (total < kErrorLogReadLimit &&
           ::ReadFile(file.Get(), &bytes[total], kErrorLogReadLimit - total, &read, nullptr) && read != 0)
        total += read;
    bytes.resize(total);
    return true;
}

} // namespace

CReportClient::CReportClient() : startTime_(Now()), facts_(&platformFacts_) {}

CReportClient::CReportClient(const std::wstring& host, IHardwareFacts& facts)
    : startTime_(Now()), host_(host), facts_(&facts)
{
}

CReportClient::~CReportClient()
{
    if (!sender_.joinable())
        return;
    WaitUntilSent(kExitGraceMs);
    std::unique_lock<std::mutex> lock(mutex_);
    quitting_ = true;
    changed_.notify_all();
    // The post under way may have started before the interruption could
    // reach it: ask again until the thread is done. It is joined, never left
    // running: it uses this object, and a thread starved of the processor
    // may take longer than the attempts; every post ends at its deadline.
    for (int attempt = 0; !stopped_ && attempt < kStopAttempts; ++attempt) {
        client_.Interrupt();
        changed_.wait_for(lock, std::chrono::milliseconds(kStopPollMs));
    }
    lock.unlock();
    sender_.join();
}

void CReportClient::SendStartReports()
{
    std::lock_guard<std::mutex> lock(mutex_);
    Job connect;
    connect.connectHost = HostLocked();
    EnqueueLocked(std::move(connect));
    std::string identifier = Identifier();
    if (!g_settings.GetBool(kHardwareReportedSetting, false)) {
        QueuePostLocked(IDS_REPORT_CONFIGS_PAGE, BuildConfigurationReport(*facts_, identifier));
        // Once per installation, whether or not the server takes it.
        g_settings.SetBool(kHardwareReportedSetting, true);
    }
    QueueErrorLogsLocked(identifier);
    startTime_ = Now();
    QueuePostLocked(IDS_REPORT_EVENTS_PAGE, EventBody(identifier, kEventRunStart));
}

void CReportClient::SendUpdateFinished(DWORD bytes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    QueuePostLocked(IDS_REPORT_EVENTS_PAGE, UpdateFinishedBody(Identifier(), ElapsedLocked(), bytes));
}

void CReportClient::SendGameStart()
{
    std::lock_guard<std::mutex> lock(mutex_);
    QueuePostLocked(IDS_REPORT_EVENTS_PAGE, EventBody(Identifier(), kEventGameStart));
}

void CReportClient::SendFailure(int event, const RunFigures& figures, int serverIndex, const std::wstring& text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    QueuePostLocked(IDS_REPORT_EVENTS_PAGE,
                    FailureBody(Identifier(), event, figures, ElapsedLocked(), serverIndex, text));
}

void CReportClient::SendStop(const RunFigures& figures)
{
    std::lock_guard<std::mutex> lock(mutex_);
    QueuePostLocked(IDS_REPORT_EVENTS_PAGE, StopBody(Identifier(), figures, ElapsedLocked(), pollOption_, pollText_));
}

void CReportClient::SetPollAnswer(int option, const std::wstring& text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    pollOption_ = option;
    pollText_ = text;
}

void CReportClient::RestartTimer()
{
    std::lock_guard<std::mutex> lock(mutex_);
    startTime_ = Now();
}

bool CReportClient::WaitUntilSent(DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [this] { return queue_.empty() && !sending_; });
}

void CReportClient::EnqueueLocked(Job job)
{
    // A report beyond the limit is dropped; an error log among them stays on
    // disk for the next start.
    if (quitting_ || queue_.size() >= kQueueLimit)
        return;
    queue_.push_back(std::move(job));
    if (!sender_.joinable())
        sender_ = std::thread(&CReportClient::SendQueued, this);
    changed_.notify_all();
}

void CReportClient::QueuePostLocked(UINT page, const std::string& body)
{
    Job job;
    job.page = page;
    job.body = body;
    EnqueueLocked(std::move(job));
}

void CReportClient::QueueErrorLogsLocked(const std::string& identifier)
{
    for (const std::wstring& name : ErrorLogNames()) {
        Job job;
        job.sentFile = kErrorFolder + name;
        std::string bytes;
        if (!ReadErrorLog(job.sentFile, bytes))
            continue;
        job.page = IDS_REPORT_ERRORS_PAGE;
        job.body = ErrorLogBody(identifier, bytes);
        EnqueueLocked(std::move(job));
    }
}

std::wstring CReportClient::HostLocked() const
{
    return host_.empty() ? LangText(IDS_REPORT_HOST) : host_;
}

long long CReportClient::ElapsedLocked() const
{
    return Now() - startTime_;
}

void CReportClient::SendQueued()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return !queue_.empty() || quitting_; });
        if (quitting_)
            break;
        Job job = std::move(queue_.front());
        queue_.pop_front();
        sending_ = true;
        // Runs that skip the start reports (right after a self-update) still
        // report their events.
        if (job.connectHost.empty() && client_.GetServer().empty())
            job.connectHost = HostLocked();
        lock.unlock();
        Execute(job);
        lock.lock();
        sending_ = false;
        changed_.notify_all();
    }
    stopped_ = true;
    changed_.notify_all();
}

void CReportClient::Execute(const Job& job)
{
    if (!job.connectHost.empty())
        client_.Connect(job.connectHost);
    if (job.page == 0)
        return;
    if (client_.Post(LoadLangString(job.page), job.body) && !job.sentFile.empty())
        ::DeleteFileW(job.sentFile.c_str());
}
