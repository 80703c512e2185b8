#pragma once
// The update run's side of the launcher's self-update. The running executable
// cannot be overwritten, so the run unpacks the new one beside it and hands
// over; the chain of processes that puts the new file in place belongs to the
// start-up code, which implements this interface.

#include <string>

class ILauncherHandover {
public:
    // Where the new executable of the launcher file at the given path is unpacked.
    virtual std::wstring CopyPathOf(const std::wstring& launcherPath) = 0;
    // This process is closing for the hand-over: nobody asks the player why.
    virtual void MarkClosing() = 0;
    virtual bool IsClosing() = 0;
    // Starts the copy, which replaces the launcher file once this process has
    // ended and starts it again. False when it could not be started.
    virtual bool StartCopy(const std::wstring& copyPath) = 0;

protected:
    ~ILauncherHandover() = default;
};
