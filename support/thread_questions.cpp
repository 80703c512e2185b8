#include "support/thread_questions.h"

namespace {

// The window class of message boxes and other system dialogs.
const wchar_t kDialogClass[] = L"#32770";
const int kClassChars = 16;

BOOL CALLBACK AnswerOne(HWND window, LPARAM button)
{
    wchar_t className[kClassChars] = L"";
    ::GetClassNameW(window, className, kClassChars);
    if (lstrcmpW(className, kDialogClass) == 0)
        ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(button), BN_CLICKED), 0);
    return TRUE;
}

} // namespace

void AnswerThreadQuestions(DWORD threadId, int button)
{
    if (threadId != 0)
        ::EnumThreadWindows(threadId, AnswerOne, static_cast<LPARAM>(button));
}
