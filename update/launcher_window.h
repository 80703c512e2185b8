#pragma once
// How the background job and the dialogs act on the main launcher window:
// progress figures, captions, log lines, the speed, the end of a run and the
// ownership of the job. Byte counts are unsigned 32-bit, file indexes and
// counts signed (-1: no file is current); captions are string-table entries,
// resolved in the interface language when shown. Calls may come from the
// job's worker thread; the window reaches its controls through messages. The
// slot order is fixed.

#include <windows.h>

class ILauncherProcess;

class ILauncherWindow {
public:
    // The text goes to the end of the log box; callers end lines with "\r\n".
    virtual void AddLogText(const wchar_t* text) = 0;
    virtual void SetTotalProgress(DWORD bytesDone) = 0;
    virtual void SetFileProgress(DWORD bytesDone) = 0;
    // A count of 0 shows the total bar full.
    virtual void SetTotalSize(DWORD totalBytes, int fileCount) = 0;
    // With index -1 (or index equal to the file count and size 0) the text
    // stands alone on the status line; otherwise it follows the file caption.
    virtual void SetCurrentFile(DWORD fileSize, int fileIndex, const wchar_t* text) = 0;
    // The run has ended: the game may be started.
    virtual void OnProcessFinished() = 0;
    // "Start after update" is checked.
    virtual bool IsAutoStartChecked() = 0;
    // Owner of message boxes and target of the hand-over's close message.
    virtual HWND GetWindowHandle() = 0;
    // Destroys the window, which ends the launcher.
    virtual void Close() = 0;
    // Starts the new job (may be null), then destroys the old one.
    virtual void SetProcess(ILauncherProcess* process) = 0;
    virtual ILauncherProcess* GetProcess() = 0;
    // The caption before file names on the status line.
    virtual void SetFileCaption(UINT captionEntry) = 0;
    // The caption that begins the count line.
    virtual void SetCountCaption(UINT captionEntry) = 0;
    // The window title: the product name, ". " and the entry's text.
    virtual void SetStageTitle(UINT titleEntry) = 0;
    // The page the browser shows offline, from the next navigation on.
    virtual void SetLocalPage(const wchar_t* path) = 0;
    // Bytes per second; kHideSpeed hides the speed.
    virtual void SetSpeed(DWORD bytesPerSecond) = 0;

    static const DWORD kHideSpeed = 0xFFFFFFFF;

protected:
    // Never destroyed through this interface.
    ~ILauncherWindow() = default;
};
