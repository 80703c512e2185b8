#include "tools/publisher/pack_progress.h"

#include <cwchar>

#include "tools/publisher/console.h"

namespace {

const double kMegabyte = 1024.0 * 1024.0;
const int kTenths = 10;
const UINT kAbortedExit = 3;

} // namespace

CPackProgress::CPackProgress(size_t files, uint64_t bytes, bool abortHalfway)
    : terminal_(OutputIsTerminal()), abortHalfway_(abortHalfway), files_(files), bytes_(bytes),
      start_(::GetTickCount64())
{
}

std::wstring CPackProgress::Text() const
{
    double seconds = (::GetTickCount64() - start_) / 1000.0;
    double rate = seconds > 0 ? doneBytes_ / seconds : 0;
    double left = rate > 0 ? (bytes_ - doneBytes_) / rate : 0;
    wchar_t text[160];
    std::swprintf(text, 160, L"Packed %zu of %zu files, %.1f of %.1f MB, %.1f MB/s, %d min %02d s left", doneFiles_,
                  files_, doneBytes_ / kMegabyte, bytes_ / kMegabyte, rate / kMegabyte, static_cast<int>(left) / 60,
                  static_cast<int>(left) % 60);
    return text;
}

void CPackProgress::OnJobDone(const PackJob& job)
{
    ++doneFiles_;
    doneBytes_ += job.size;
    if (abortHalfway_ && doneFiles_ * 2 >= files_)
        ::TerminateProcess(::GetCurrentProcess(), kAbortedExit);
    if (terminal_) {
        RedrawLine(Text());
        return;
    }
    int tenths = bytes_ > 0 ? static_cast<int>(doneBytes_ * kTenths / bytes_) : kTenths;
    if (tenths > tenthsShown_ || doneFiles_ == files_) {
        tenthsShown_ = tenths;
        PrintLine(Text());
    }
}

void CPackProgress::Finish()
{
    if (terminal_ && doneFiles_ > 0)
        PrintLine(L"");
}
