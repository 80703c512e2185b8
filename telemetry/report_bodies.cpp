#include "telemetry/report_bodies.h"

#include "support/text_utils.h"

namespace {

const int kFullPercent = 100;

// Percent-encodes every byte, zero bytes included: UrlEncode ends at the first
// zero, and a log must not lose what follows one.
std::string EncodeBytes(const std::string& bytes)
{
    std::string result;
    size_t start = 0;
    for (;;) {
        size_t zero = bytes.find('\0', start);
        result += UrlEncode(bytes.substr(start, zero - start).c_str());
        if (zero == std::string::npos)
            return result;
        result += "%00";
        start = zero + 1;
    }
}

std::string FiguresFields(const RunFigures& figures, long long seconds)
{
    return "&percent=" + std::to_string(figures.percent) + "&errors=" + std::to_string(figures.errors) +
           "&seconds=" + std::to_string(seconds) + "&bytes=" + std::to_string(figures.bytes);
}

} // namespace

int ProgressPercent(DWORD done, DWORD toDo)
{
    if (toDo == 0)
        return 0;
    // More done than planned is complete, not more; the percentage of a
    // large excess would not even fit an int.
    if (done >= toDo)
        return kFullPercent;
    return static_cast<int>((static_cast<unsigned long long>(done) * 100 + toDo / 2) / toDo);
}

std::string ReportIdentifier(const std::wstring& machineId)
{
    return WideToAnsi(ToUpper(machineId));
}

std::string EncodeEventText(const std::wstring& text)
{
    std::string utf8 = WideToUtf8(text);
    if (utf8.size() + 1 > kEventTextBytes)
        return std::string();
    return UrlEncode(utf8.c_str());
}

std::string EncodeErrorLog(const std::string& ansiBytes)
{
    std::string encoded = EncodeBytes(WideToUtf8(AnsiToWide(ansiBytes)));
    if (encoded.size() > kErrorLogChars)
        encoded.resize(kErrorLogChars);
    return encoded;
}

std::string EventBody(const std::string& identifier, int event)
{
    return "guid=" + identifier + "&event=" + std::to_string(event);
}

std::string UpdateFinishedBody(const std::string& identifier, long long seconds, DWORD bytes)
{
    return EventBody(identifier, kEventUpdateFinished) + "&seconds=" + std::to_string(seconds) + "&bytes=" +
           std::to_string(bytes);
}

std::string FailureBody(const std::string& identifier, int event, const RunFigures& figures, long long seconds,
                        int serverIndex, const std::wstring& text)
{
    return EventBody(identifier, event) + FiguresFields(figures, seconds) + "&option=" + std::to_string(serverIndex) +
           "&text=" + EncodeEventText(text);
}

std::string StopBody(const std::string& identifier, const RunFigures& figures, long long seconds, int option,
                     const std::wstring& text)
{
    std::string body = EventBody(identifier, kEventRunStopped) + FiguresFields(figures, seconds) + "&option=" +
                       std::to_string(option);
    if (!text.empty())
        body += "&text=" + EncodeEventText(text);
    return body;
}

std::string ErrorLogBody(const std::string& identifier, const std::string& ansiBytes)
{
    return "guid=" + identifier + "&errlog=" + EncodeErrorLog(ansiBytes);
}
