#pragma once
// Code-page conversions, percent-encoding, search-and-replace, case handling,
// splitting and formatting shared by the whole launcher.

#include <string>
#include <vector>

// Into the given code page, sized by the conversion itself, so double-byte
// code pages come out whole; empty when the conversion fails.
std::string WideToCodePage(const std::wstring& text, unsigned codePage);
std::string WideToAnsi(const std::wstring& text);
std::wstring AnsiToWide(const std::string& text);
std::string AnsiToUtf8(const char* text);
std::string WideToUtf8(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& bytes);
std::string UrlEncode(const char* text);

void ReplaceAll(std::wstring& text, const std::wstring& search, const std::wstring& replacement);
void ReplaceChar(wchar_t* begin, wchar_t* end, wchar_t oldChar, wchar_t newChar);

bool EqualsNoCase(const std::wstring& a, const std::wstring& b);
std::wstring ToUpper(const std::wstring& text);

// printf-style; results are limited to 9999 characters.
std::wstring FormatString(const wchar_t* format, ...);

std::wstring Trim(const std::wstring& text);
std::vector<std::wstring> Split(const std::wstring& text, const std::wstring& delimiter);
std::vector<std::wstring> SplitAny(const std::wstring& text, const std::vector<std::wstring>& delimiters);
