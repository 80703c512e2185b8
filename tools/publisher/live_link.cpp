#include "tools/publisher/live_link.h"

#include <windows.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "support/text_utils.h"
#include "tools/publisher/publish_error.h"

namespace {

#if defined(__x86_64__)
enum : long { kSysRename = 82, kSysUnlink = 87, kSysSymlink = 88, kSysReadlink = 89 };
#elif defined(__i386__)
enum : long { kSysUnlink = 10, kSysRename = 38, kSysSymlink = 83, kSysReadlink = 85 };
#endif

const size_t kLinkTargetMax = 4096;

// A Linux system call; negative results are -errno.
long HostCall(long number, const void* a, const void* b = nullptr, long c = 0)
{
    long result;
#if defined(__x86_64__)
    __asm__ volatile("syscall" : "=a"(result) : "a"(number), "D"(a), "S"(b), "d"(c) : "rcx", "r11", "memory");
#elif defined(__i386__)
    __asm__ volatile("int $0x80" : "=a"(result) : "a"(number), "b"(a), "c"(b), "d"(c) : "memory");
#endif
    return result;
}

struct HeapText {
    void operator()(char* text) const { ::HeapFree(::GetProcessHeap(), 0, text); }
};
using UnixPath = std::unique_ptr<char, HeapText>;

// The host's name for a Windows path, through Wine's own export.
UnixPath UnixPathOf(const std::wstring& path)
{
    using Convert = char*(CDECL*)(LPCWSTR);
    static const auto convert = reinterpret_cast<Convert>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    if (!convert)
        throw PublishError(L"the live tree is switched by a symbolic link, which needs the publisher to run under "
                           L"Wine on a Unix host");
    UnixPath unix(convert(path.c_str()));
    if (!unix)
        throw PublishError(L"no host path for " + path);
    return unix;
}

std::wstring HostErrorText(long result)
{
    return AnsiToWide(std::strerror(static_cast<int>(-result)));
}

} // namespace

std::wstring ReadLink(const std::wstring& path)
{
    UnixPath unix = UnixPathOf(path);
    char target[kLinkTargetMax];
    long length = HostCall(kSysReadlink, unix.get(), target, static_cast<long>(sizeof target));
    if (length <= 0)
        return std::wstring();
    return Utf8ToWide(std::string(target, static_cast<size_t>(length)));
}

bool IsLink(const std::wstring& path)
{
    return !ReadLink(path).empty();
}

void MakeLink(const std::wstring& path, const std::wstring& target)
{
    UnixPath unix = UnixPathOf(path);
    std::string unixTarget = WideToUtf8(target);
    long result = HostCall(kSysSymlink, unixTarget.c_str(), unix.get());
    if (result < 0)
        throw PublishError(L"cannot make the link " + path + L": " + HostErrorText(result));
}

void RenameOver(const std::wstring& from, const std::wstring& to)
{
    UnixPath unixFrom = UnixPathOf(from);
    UnixPath unixTo = UnixPathOf(to);
    long result = HostCall(kSysRename, unixFrom.get(), unixTo.get());
    if (result < 0)
        throw PublishError(L"cannot rename " + from + L" to " + to + L": " + HostErrorText(result));
}

bool RemoveLink(const std::wstring& path)
{
    UnixPath unix = UnixPathOf(path);
    long result = HostCall(kSysUnlink, unix.get());
    return result == 0 || result == -ENOENT;
}
