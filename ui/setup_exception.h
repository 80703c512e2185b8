#pragma once
// Failures of the installation steps; the installation dialog shows their
// message and stays open.

#include <windows.h>
#include <string>

class setup_exception {
public:
    explicit setup_exception(std::wstring message) : message_(std::move(message)) {}
    virtual ~setup_exception() = default;

    const std::wstring& message() const { return message_; }

private:
    std::wstring message_;
};

// A failed system call: the prefix, then the system's text for the code.
class win_exception : public setup_exception {
public:
    explicit win_exception(DWORD code, const std::wstring& prefix = std::wstring());

    DWORD code() const { return code_; }

private:
    DWORD code_;
};
