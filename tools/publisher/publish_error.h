#pragma once
// The one failure type of the publisher: a message for the maker, naming
// what failed and on which file.

#include <windows.h>

#include <string>

class PublishError {
public:
    explicit PublishError(std::wstring text) : text_(std::move(text)) {}
    const std::wstring& Text() const { return text_; }

private:
    std::wstring text_;
};

// The system's text for a Win32 error code, or "error N" when it has none.
std::wstring SystemErrorText(DWORD code);

// Throws PublishError with the text, ": " and the system's text for the
// calling thread's last error.
[[noreturn]] void ThrowLastError(const std::wstring& text);
