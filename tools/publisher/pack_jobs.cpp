#include "tools/publisher/pack_jobs.h"

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <numeric>

#include "support/gzip/deflate_segment.h"
#include "support/text_utils.h"
#include "support/win_handles.h"
#include "tools/publisher/publish_error.h"
#include "tools/publisher/tree_files.h"

namespace {

const wchar_t kPartSuffix[] = L".part";
const wchar_t kFailureSuffix[] = L".failed";
const DWORD kProgressPoll = 250;
const int kWorkerFailed = 1;

// A segment appears under its name only when complete, so a run killed
// mid-way never leaves a damaged one in the cache.
void PackOne(const PackJob& job)
{
    const std::wstring part = job.segment + kPartSuffix;
    try {
        WriteSegmentFile(job.source, part);
    } catch (const CZipException& e) {
        ::DeleteFileW(part.c_str());
        throw PublishError(L"cannot pack " + job.source + L": " + AnsiToWide(e.Text()));
    }
    MoveIntoPlace(part, job.segment);
}

// Longest first onto the least loaded worker: the workers end close together.
std::vector<std::vector<PackJob>> ShareOut(const std::vector<PackJob>& jobs, unsigned workers)
{
    std::vector<size_t> order(jobs.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return jobs[a].size > jobs[b].size; });
    std::vector<std::vector<PackJob>> shares(workers);
    std::vector<uint64_t> load(workers);
    for (size_t i : order) {
        size_t least = std::min_element(load.begin(), load.end()) - load.begin();
        shares[least].push_back(jobs[i]);
        load[least] += jobs[i].size + 1;
    }
    return shares;
}

void WriteList(const std::wstring& path, const std::vector<PackJob>& jobs)
{
    std::string text;
    for (const PackJob& job : jobs)
        text += WideToUtf8(job.source) + "\t" + WideToUtf8(job.segment) + "\n";
    UniqueHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        ThrowLastError(L"cannot create " + path);
    WriteAll(file.Get(), text.data(), text.size(), path);
}

std::wstring OwnPath()
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length < buffer.size())
            return std::wstring(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

struct Worker {
    std::vector<PackJob> jobs;
    std::wstring list;
    UniqueHandle process;
    size_t reported = 0;
};

void StartWorker(Worker& worker, HANDLE group)
{
    std::wstring command = L"\"" + OwnPath() + L"\" --pack-worker \"" + worker.list + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                          &startup, &info))
        ThrowLastError(L"cannot start a packing process");
    worker.process.Reset(info.hProcess);
    UniqueHandle thread(info.hThread);
    ::AssignProcessToJobObject(group, info.hProcess);
    ::ResumeThread(info.hThread);
}

// Reports the jobs whose segments have appeared since the last look; each
// worker finishes its list in order.
void ReportFinished(Worker& worker, IPackProgress& progress)
{
    while (worker.reported < worker.jobs.size() && Exists(worker.jobs[worker.reported].segment))
        progress.OnJobDone(worker.jobs[worker.reported++]);
}

std::wstring FailureText(const Worker& worker)
{
    std::ifstream file((worker.list + kFailureSuffix).c_str(), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return text.empty() ? L"a packing process failed" : Utf8ToWide(text);
}

void RunWorkers(std::vector<Worker>& workers, IPackProgress& progress)
{
    // Workers die with this process, whatever ends it.
    UniqueHandle group(::CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    ::SetInformationJobObject(group.Get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
    for (Worker& worker : workers)
        StartWorker(worker, group.Get());
    std::vector<HANDLE> running;
    for (Worker& worker : workers)
        running.push_back(worker.process.Get());
    for (;;) {
        DWORD waited = ::WaitForMultipleObjects(static_cast<DWORD>(running.size()), running.data(), TRUE,
                                                kProgressPoll);
        for (Worker& worker : workers)
            ReportFinished(worker, progress);
        if (waited != WAIT_TIMEOUT)
            break;
    }
    for (Worker& worker : workers) {
        DWORD code = 0;
        if (!::GetExitCodeProcess(worker.process.Get(), &code) || code != 0)
            throw PublishError(FailureText(worker));
    }
}

} // namespace

void RunPackJobs(const std::vector<PackJob>& jobs, unsigned workers, const std::wstring& workFolder,
                 IPackProgress& progress)
{
    workers = std::max(1u, std::min<unsigned>(workers, static_cast<unsigned>(jobs.size())));
    if (jobs.empty())
        return;
    if (workers == 1) {
        for (const PackJob& job : jobs) {
            PackOne(job);
            progress.OnJobDone(job);
        }
        return;
    }
    std::vector<Worker> pool;
    std::vector<std::vector<PackJob>> shares = ShareOut(jobs, workers);
    for (size_t i = 0; i < shares.size(); ++i) {
        Worker worker;
        worker.jobs = std::move(shares[i]);
        worker.list = workFolder + L"\\jobs" + std::to_wstring(i) + L".txt";
        CreateParentFolders(worker.list);
        ::DeleteFileW((worker.list + kFailureSuffix).c_str());
        WriteList(worker.list, worker.jobs);
        pool.push_back(std::move(worker));
    }
    RunWorkers(pool, progress);
}

int RunPackWorker(const std::wstring& listFile)
{
    try {
        std::ifstream list(listFile.c_str(), std::ios::binary);
        if (!list)
            throw PublishError(L"cannot read the job list " + listFile);
        std::string line;
        while (std::getline(list, line)) {
            size_t tab = line.find('\t');
            if (tab == std::string::npos)
                continue;
            PackJob job;
            job.source = Utf8ToWide(line.substr(0, tab));
            job.segment = Utf8ToWide(line.substr(tab + 1));
            PackOne(job);
        }
    } catch (const PublishError& e) {
        std::ofstream failure((listFile + kFailureSuffix).c_str(), std::ios::binary);
        failure << WideToUtf8(e.Text());
        return kWorkerFailed;
    }
    return 0;
}
