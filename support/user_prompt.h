#pragma once
// The two ways a check talks to the player before any window exists: a message
// box and opening a web page. Behind an interface so that tests capture them
// instead of showing them.

#include <windows.h>
#include <string>

class IUserPrompt {
public:
    virtual ~IUserPrompt() = default;
    // A message box without owner; returns the button pressed (IDOK, IDCANCEL).
    virtual int ShowMessage(const std::wstring& text, const std::wstring& caption, UINT type) = 0;
    // Opens the address in the default browser.
    virtual void OpenAddress(const std::wstring& address) = 0;
};

// The desktop: MessageBoxW and the shell.
class CDesktopPrompt : public IUserPrompt {
public:
    int ShowMessage(const std::wstring& text, const std::wstring& caption, UINT type) override;
    void OpenAddress(const std::wstring& address) override;
};
