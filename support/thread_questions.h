#pragma once
// Answers the message boxes another thread has up, as if the player had
// pressed a button: a thread that must end does not wait for a question
// nobody will answer.

#include <windows.h>

// Posts the button's command to every dialog box the thread owns at the top
// level; a box without that button ignores it.
void AnswerThreadQuestions(DWORD threadId, int button);
