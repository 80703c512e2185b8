#include "telemetry/report_client.h"

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

void CReportClient::SendStartReports()
{
    std::lock_guard<std::mutex> lock(mutex_);
    ConnectLocked();
    std::string identifier = Identifier();
    if (!g_settings.GetBool(kHardwareReportedSetting, false)) {
        SendConfigurationLocked(identifier);
        // Once per installation, whether or not the server took it.
        g_settings.SetBool(kHardwareReportedSetting, true);
    }
    SendErrorLogsLocked(identifier);
    startTime_ = Now();
    PostLocked(IDS_REPORT_EVENTS_PAGE, EventBody(identifier, kEventRunStart));
}

void CReportClient::SendUpdateFinished(DWORD bytes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    PostLocked(IDS_REPORT_EVENTS_PAGE, UpdateFinishedBody(Identifier(), ElapsedLocked(), bytes));
}

void CReportClient::SendGameStart()
{
    std::lock_guard<std::mutex> lock(mutex_);
    PostLocked(IDS_REPORT_EVENTS_PAGE, EventBody(Identifier(), kEventGameStart));
}

void CReportClient::SendFailure(int event, const RunFigures& figures, int serverIndex, const std::wstring& text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    PostLocked(IDS_REPORT_EVENTS_PAGE, FailureBody(Identifier(), event, figures, ElapsedLocked(), serverIndex, text));
}

void CReportClient::SendStop(const RunFigures& figures)
{
    std::lock_guard<std::mutex> lock(mutex_);
    PostLocked(IDS_REPORT_EVENTS_PAGE, StopBody(Identifier(), figures, ElapsedLocked(), pollOption_, pollText_));
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

void CReportClient::ConnectLocked()
{
    client_.Connect(host_.empty() ? LangText(IDS_REPORT_HOST) : host_);
}

bool CReportClient::PostLocked(UINT pageEntry, const std::string& body)
{
    // Runs that skip the start reports (right after a self-update) still
    // report their events.
    if (client_.GetServer().empty())
        ConnectLocked();
    return client_.Post(LoadLangString(pageEntry), body);
}

void CReportClient::SendConfigurationLocked(const std::string& identifier)
{
    PostLocked(IDS_REPORT_CONFIGS_PAGE, BuildConfigurationReport(*facts_, identifier));
}

void CReportClient::SendErrorLogsLocked(const std::string& identifier)
{
    for (const std::wstring& name : ErrorLogNames()) {
        std::wstring path = kErrorFolder + name;
        std::string bytes;
        if (!ReadErrorLog(path, bytes))
            continue;
        if (PostLocked(IDS_REPORT_ERRORS_PAGE, ErrorLogBody(identifier, bytes)))
            ::DeleteFileW(path.c_str());
    }
}

long long CReportClient::ElapsedLocked() const
{
    return Now() - startTime_;
}
