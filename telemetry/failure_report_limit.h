#pragma once
// The update run's limit on repeated failure reports (event 10): a run of
// identical failure texts is reported six times, the first and five repeats,
// until data arrives or the text changes.

#include <string>

class CFailureReportLimit {
public:
    static const int kReportedRepeats = 6;

    // Called for every failure the run handles, in order; true when this one
    // is to be reported.
    bool ShouldReport(const std::wstring& text);
    // Received data ends a run of identical failures.
    void OnDataReceived() { repeats_ = 0; }

private:
    std::wstring lastText_;
    int repeats_ = 0;
};
