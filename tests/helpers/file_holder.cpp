// Holds a file open for writing until its standard input ends, so tests can
// see how the launcher meets a file another process is writing.
//   file_holder.exe PATH
// Prints "holding" once the file is open.

#include <windows.h>
#include <shellapi.h>

#include <cstdio>

#include "support/win_handles.h"

int main()
{
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv || argc != 2) {
        std::fputs("usage: file_holder.exe PATH\n", stderr);
        return 2;
    }
    UniqueHandle file(::CreateFileW(argv[1], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ::LocalFree(argv);
    if (!file) {
        std::printf("open failed %lu\n", ::GetLastError());
        return 1;
    }
    std::puts("holding");
    std::fflush(stdout);
    char drain[256];
    while (std::fgets(drain, sizeof(drain), stdin)) {
    }
    return 0;
}
