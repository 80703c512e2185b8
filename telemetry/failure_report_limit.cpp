#include "telemetry/failure_report_limit.h"

bool CFailureReportLimit::ShouldReport(const std::wstring& text)
{
    bool repeated = text == lastText_;
    repeats_ = repeated ? repeats_ + 1 : 0;
    lastText_ = text;
    return !(repeated && repeats_ >= kReportedRepeats);
}
