#pragma once
// The bodies of the reports, byte for byte as the report server receives them:
// fields in a fixed order, numbers in plain decimal, texts in UTF-8 and
// percent-encoded. Pure functions, so every body can be checked without a
// network.

#include <windows.h>
#include <string>

const int kEventRunStart = 1;
const int kEventUpdateFinished = 2;
const int kEventGameStart = 3;
const int kEventRequestFailed = 10;
const int kEventRunStopped = 11;
const int kEventPlanFailed = 12;

// An event text is sent only when its UTF-8 form and a terminating zero fit
// this many bytes; a longer one is sent as an empty value.
const size_t kEventTextBytes = 2048;
// An error log is cut to this many characters after encoding.
const size_t kErrorLogChars = 65536;

// What the update run tells about itself in events 10, 11 and 12.
struct RunFigures {
    int percent = 0;  // share of the planned bytes done (ProgressPercent)
    int errors = 0;   // failures handled since the run was created, the current one included
    DWORD bytes = 0;  // bytes received since the run last selected an update server
};

// Bytes done of bytes to do in percent, rounded to nearest, at most 100; 0 when
// nothing is to be done.
int ProgressPercent(DWORD done, DWORD toDo);

// The installation identifier as reports carry it: upper case, ANSI code page.
std::string ReportIdentifier(const std::wstring& machineId);

// UTF-8 and percent-encoded; empty when the UTF-8 form does not fit kEventTextBytes.
std::string EncodeEventText(const std::wstring& text);

// The bytes of an error-log file (ANSI code page) in UTF-8, percent-encoded
// and cut to kErrorLogChars characters.
std::string EncodeErrorLog(const std::string& ansiBytes);

// Events 1 and 3: "guid=" identifier "&event=" code.
std::string EventBody(const std::string& identifier, int event);
// Event 2.
std::string UpdateFinishedBody(const std::string& identifier, long long seconds, DWORD bytes);
// Events 10 and 12; the text is sent whether or not it is empty.
std::string FailureBody(const std::string& identifier, int event, const RunFigures& figures, long long seconds,
                        int serverIndex, const std::wstring& text);
// Event 11, with the refusal poll's answer; "&text=" only when its text is not empty.
std::string StopBody(const std::string& identifier, const RunFigures& figures, long long seconds, int option,
                     const std::wstring& text);
// One error-log file.
std::string ErrorLogBody(const std::string& identifier, const std::string& ansiBytes);
