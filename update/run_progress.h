#pragma once
// The figures of an update run. The worker writes them; the window's timer
// tick reads them and clears the two change flags; the reports read them on
// either thread. No lock: each figure is one atomic word.

#include <windows.h>

#include <atomic>

#include "telemetry/report_bodies.h"

struct RunProgress {
    std::atomic<bool> progressChanged{false};
    std::atomic<bool> speedChanged{false};
    std::atomic<DWORD> overallBytesDone{0};
    std::atomic<DWORD> currentFileBytes{0};
    std::atomic<DWORD> speed{0};
    std::atomic<DWORD> bytesToDownload{0};
    std::atomic<DWORD> bytesSinceServerChoice{0};
    std::atomic<int> errorCount{0};

    RunFigures Figures() const
    {
        RunFigures figures;
        figures.percent = ProgressPercent(overallBytesDone, bytesToDownload);
        figures.errors = errorCount;
        figures.bytes = bytesSinceServerChoice;
        return figures;
    }
};
