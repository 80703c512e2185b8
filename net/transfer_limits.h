#pragma once
// Bounds every answer is held to, the same in both clients: how long a server
// may keep a request waiting, and how long a file the index can describe.

#include <windows.h>
#include <string>

// The whole answer header must arrive within this time of the request, and a
// body may fall silent for no longer than this, however slowly it trickles.
const DWORD kAnswerDeadlineMs = 30000;

// Whether a file of start + length bytes has a size the index can hold (32
// bits); anything longer is refused before a byte of it is read.
bool FitsIndexSize(ULONGLONG start, ULONGLONG length);

// The failure texts of the bounds, naming the requested path.
std::wstring StoppedSendingText(const std::wstring& remotePath);
std::wstring TooLargeText(const std::wstring& remotePath, ULONGLONG length);
