#pragma once
// The command-line tail and the switches the launcher's own processes pass to
// each other. Switches are matched case-sensitively against the whole tail or
// its beginning.

#include <string>

#include "services/launcher_switches.h"

enum class StartMode {
    Normal,
    DeleteDownloadedExe,        // "-deletedownloadedexe:<path>", then normal start-up
    CopyToOriginalAndRestart,   // second stage of a self-update
    DeleteCopyExe,              // third stage of a self-update, then normal start-up
    Uninstall,                  // "/uninstall..."
    DeleteFile,                 // clean-up after uninstallation
};

// The command line after the program name and the blanks that follow it.
const wchar_t* CommandTail(const wchar_t* commandLine);

struct StartRequest {
    StartMode mode = StartMode::Normal;
    std::wstring argument;   // the tail after a prefix switch
};

StartRequest ParseStartRequest(const wchar_t* tail);
