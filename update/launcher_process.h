#pragma once
// The main window's background job. The window owns exactly one, drives it
// with a 100 ms timer and forwards the player's commands; the job reports
// back through ILauncherWindow. The slot order is fixed.

class ILauncherProcess {
public:
    // The window destroys the job through this interface.
    virtual ~ILauncherProcess() = default;

    // Begins a run; the window does not wait for it.
    virtual void Start() = 0;
    // Ends a run that has not finished, telling the report server why.
    virtual void Stop() = 0;
    // The window's timer tick, with the seconds elapsed since the last one.
    virtual void OnTimer(double elapsedSeconds) = 0;
    virtual void LaunchGame() = 0;
    // Starts a run that checks every file against the server's digests; only
    // after a run has finished. True when one was started.
    virtual bool CheckFiles() = 0;
    virtual bool IsFinished() = 0;
    // 0 chooses the HTTP client automatically, 1 the socket library, 2 WinINet.
    virtual void SetHttpPreference(int preference) = 0;
};
