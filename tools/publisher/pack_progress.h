#pragma once
// Progress of the compression: one redrawn line on a terminal, a plain line
// at every tenth of the bytes otherwise (a log or a pipe).

#include <windows.h>

#include <cstdint>
#include <string>

#include "tools/publisher/pack_jobs.h"

class CPackProgress final : public IPackProgress {
public:
    // abortHalfway ends the process abruptly once half the files are packed,
    // as a kill would (the tool's "packing" abort point).
    CPackProgress(size_t files, uint64_t bytes, bool abortHalfway);
    void OnJobDone(const PackJob& job) override;
    // Ends the redrawn line.
    void Finish();

private:
    std::wstring Text() const;

    bool terminal_;
    bool abortHalfway_;
    size_t files_;
    uint64_t bytes_;
    size_t doneFiles_ = 0;
    uint64_t doneBytes_ = 0;
    int tenthsShown_ = 0;
    ULONGLONG start_;
};
