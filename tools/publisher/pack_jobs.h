#pragma once
// Compression of segments on several processors. The codec keeps its state
// in static storage, one operation per process, so each processor gets a
// worker process of the publisher itself; every segment depends only on its
// own file, so the output is the same whatever the number of workers.

#include <cstdint>
#include <string>
#include <vector>

struct PackJob {
    std::wstring source;
    std::wstring segment;
    uint64_t size = 0;
};

// Told of each finished job, in no particular order across workers.
class IPackProgress {
public:
    virtual void OnJobDone(const PackJob& job) = 0;

protected:
    ~IPackProgress() = default;
};

// Compresses every job's source into its segment on `workers` processes
// (in this process when 1), keeping job lists in workFolder. Throws
// PublishError; segments finished before a failure stay (they are whole).
void RunPackJobs(const std::vector<PackJob>& jobs, unsigned workers, const std::wstring& workFolder,
                 IPackProgress& progress);

// The worker process's work: the jobs of its list, one after the other. The
// exit status, and a failure's text in the file beside the list.
int RunPackWorker(const std::wstring& listFile);
