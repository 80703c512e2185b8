#pragma once
// Output of the publisher: a console gets UTF-16 directly, a pipe or file
// gets UTF-8, so names in any script survive either way.

#include <string>

void PrintLine(const std::wstring& line);
void PrintErrorLine(const std::wstring& line);
// True when the standard output is a console, where a line can be redrawn.
bool OutputIsTerminal();
// Redraws the current console line with text (no line feed).
void RedrawLine(const std::wstring& text);
