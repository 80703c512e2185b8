#pragma once
// The address of the launcher's web page: the news page of the language,
// asked for this machine, so the server can tell players apart.

#include <string>

std::wstring LauncherPageAddress(const std::wstring& newsPage, const std::wstring& machineId);
