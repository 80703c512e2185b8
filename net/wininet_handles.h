#pragma once
// Owners for WinINet handles and for the texts WinINet hands out to be freed
// with GlobalFree, in the manner of support/win_handles.h.

#include <windows.h>
#include <wininet.h>

#include "support/win_handles.h"

struct InternetHandleTraits {
    using Type = HINTERNET;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { ::InternetCloseHandle(h); }
};

struct GlobalTextTraits {
    using Type = wchar_t*;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type text) { return text != nullptr; }
    static void Close(Type text) { ::GlobalFree(text); }
};

using UniqueInternetHandle = ScopedResource<InternetHandleTraits>;
using UniqueGlobalText = ScopedResource<GlobalTextTraits>;
