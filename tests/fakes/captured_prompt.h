#pragma once
// Records message boxes and opened addresses instead of showing them, and
// answers every message box with a chosen button.

#include <string>
#include <vector>

#include "support/user_prompt.h"

struct ShownMessage {
    std::wstring text;
    std::wstring caption;
    UINT type;
};

class CCapturedPrompt : public IUserPrompt {
public:
    int ShowMessage(const std::wstring& text, const std::wstring& caption, UINT type) override
    {
        messages.push_back({text, caption, type});
        return answer;
    }
    void OpenAddress(const std::wstring& address) override { openedAddresses.push_back(address); }

    int answer = IDOK;
    std::vector<ShownMessage> messages;
    std::vector<std::wstring> openedAddresses;
};
