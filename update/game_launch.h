#pragma once
// The game process as the update run sees it: started from the game folder,
// watched through its process handle and the named event it signals once it
// runs, so that the launcher can close itself.

#include <string>

#include "support/win_handles.h"

class ILauncherWindow;
class CReportClient;

// A crash log of the last game run ("Errors\* Error.txt") exists.
bool GameCrashLogExists();

class CGameLaunch {
public:
    // Starts the game unless one was started already; every attempt is
    // reported. A missing or unstartable executable is told in a message box
    // owned by the window, and a later attempt may succeed.
    void Launch(ILauncherWindow& window, CReportClient& reports);
    // True once the game signalled its event, ended, or has been watched for
    // more than kMaxWatchSeconds; elapsed seconds add up tick by tick.
    bool ShouldClose(double elapsedSeconds);

    static constexpr double kMaxWatchSeconds = 20000.0;

private:
    UniqueHandle process_;
    UniqueHandle signal_;
    double watched_ = 0;
};
