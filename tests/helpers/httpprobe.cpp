// Drives one of the launcher's HTTP clients for the integration tests.
//   httpprobe.exe poco|wininet
// Reads commands from standard input, one per line, fields separated by tabs,
// in UTF-8. Writes a transcript to standard output in UTF-8: each command as
// "> name" followed by what it caused, one line each: the sink calls with
// their arguments, and the answers of the inspecting commands. Line breaks
// inside texts are written as <CR> and <LF>.
//
// Commands:
//   events on|off                 install or remove the sink (on at start)
//   connect HOST                  Connect
//   server                        GetServer
//   download REMOTE LOCAL OFFSET  Download
//   fetch DIRECTORY NAME LOCAL    Download from 0 of the path the launcher requests for NAME
//   process N                     Process, N times
//   run MAX                       Process until OnComplete or OnError, at most MAX times
//   cancel                        Cancel
//   post PAGE BODY                Post (BODY converted to the ANSI code page)
//   free PATH                     whether the file can be opened with no sharing: "free", "missing"
//                                 or "busy CODE"
//   delete PATH                   DeleteFile: "deleted" or "failed CODE"
//   size PATH                     the file's size, or "missing"
//   systext CODE                  the system's text for the error code
//   hosts [HOST ...]              SetRedirectHosts
//   interrupt MS                  Interrupt from another thread, MS milliseconds from now
//   elapsed                       milliseconds since the previous "elapsed" (or the start)

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/http_client_poco.h"
#include "net/http_client_wininet.h"
#include "support/system_message.h"
#include "support/text_utils.h"
#include "tests/helpers/utf8_text.h"
#include "update/game_paths.h"

namespace {

void Say(const std::string& line)
{
    std::string escaped;
    for (char c : line) {
        if (c == '\r')
            escaped += "<CR>";
        else if (c == '\n')
            escaped += "<LF>";
        else
            escaped += c;
    }
    escaped += '\n';
    std::fwrite(escaped.data(), 1, escaped.size(), stdout);
    std::fflush(stdout);
}

void Say(const std::string& name, const std::wstring& value)
{
    Say(name + "\t" + Utf8(value));
}

class PrintingSink : public IHttpEvents {
public:
    void OnStart(const wchar_t* remotePath, DWORD totalSize) override
    {
        Say("OnStart\t" + Utf8(remotePath) + "\t" + std::to_string(totalSize));
    }
    void OnComplete(const wchar_t* localPath) override
    {
        ended_ = true;
        Say("OnComplete", localPath);
    }
    void OnData(DWORD byteCount) override { Say("OnData\t" + std::to_string(byteCount)); }
    void OnError(const wchar_t* text) override
    {
        ended_ = true;
        Say("OnError", text);
    }
    void OnMessage(const wchar_t* text) override { Say("OnMessage", text); }

    bool ended_ = false;
};

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

std::string FileState(const std::wstring& path)
{
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD code = ::GetLastError();
        return code == ERROR_FILE_NOT_FOUND ? "missing" : "busy\t" + std::to_string(code);
    }
    ::CloseHandle(file);
    return "free";
}

std::string FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return "missing";
    return std::to_string((static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

std::string Argument(const std::vector<std::string>& fields, size_t index)
{
    return index < fields.size() ? fields[index] : std::string();
}

ULONGLONG g_lastElapsed = ::GetTickCount64();

void Execute(IHttpClient& client, PrintingSink& sink, const std::vector<std::string>& fields)
{
    const std::string& name = fields[0];
    std::wstring first = Wide(Argument(fields, 1));
    if (name == "events") {
        client.SetEvents(Argument(fields, 1) == "off" ? nullptr : &sink);
    } else if (name == "connect") {
        client.Connect(first);
    } else if (name == "server") {
        Say("server", client.GetServer());
    } else if (name == "download") {
        sink.ended_ = false;
        client.Download(first, Wide(Argument(fields, 2)), std::strtoul(Argument(fields, 3).c_str(), nullptr, 10));
    } else if (name == "fetch") {
        sink.ended_ = false;
        client.Download(RequestPath(first, Wide(Argument(fields, 2))), Wide(Argument(fields, 3)), 0);
    } else if (name == "process") {
        long count = std::strtol(Argument(fields, 1).c_str(), nullptr, 10);
        for (long i = 0; i < count; ++i)
            client.Process();
    } else if (name == "run") {
        long limit = std::strtol(Argument(fields, 1).c_str(), nullptr, 10);
        for (long i = 0; i < limit && !sink.ended_; ++i)
            client.Process();
    } else if (name == "cancel") {
        client.Cancel();
    } else if (name == "post") {
        sink.ended_ = false;
        bool accepted = client.Post(first, WideToAnsi(Wide(Argument(fields, 2))));
        Say(std::string("post\t") + (accepted ? "true" : "false"));
    } else if (name == "free") {
        Say("free\t" + FileState(first));
    } else if (name == "delete") {
        Say(::DeleteFileW(first.c_str()) ? "delete\tdeleted" : "delete\tfailed\t" + std::to_string(::GetLastError()));
    } else if (name == "size") {
        Say("size\t" + FileSize(first));
    } else if (name == "systext") {
        Say("systext", SystemMessageText(std::strtoul(Argument(fields, 1).c_str(), nullptr, 10)));
    } else if (name == "hosts") {
        std::vector<std::wstring> hosts;
        for (size_t i = 1; i < fields.size(); ++i)
            hosts.push_back(Wide(fields[i]));
        client.SetRedirectHosts(hosts);
    } else if (name == "interrupt") {
        DWORD delay = std::strtoul(Argument(fields, 1).c_str(), nullptr, 10);
        std::thread([&client, delay] {
            ::Sleep(delay);
            client.Interrupt();
        }).detach();
    } else if (name == "elapsed") {
        ULONGLONG now = ::GetTickCount64();
        Say("elapsed\t" + std::to_string(now - g_lastElapsed));
        g_lastElapsed = now;
    } else {
        Say("unknown command\t" + name);
    }
}

std::unique_ptr<IHttpClient> CreateClient()
{
    int count = 0;
    LPWSTR* args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::wstring kind = args && count > 1 ? args[1] : L"";
    ::LocalFree(args);
    if (kind == L"poco")
        return std::make_unique<CHttpClientPoco>();
    if (kind == L"wininet")
        return std::make_unique<CHttpClient>();
    return nullptr;
}

} // namespace

int main()
{
    // The transcript's line ends stay "\n", as the tests read them.
    _setmode(_fileno(stdout), _O_BINARY);
    std::unique_ptr<IHttpClient> client = CreateClient();
    if (!client) {
        Say("usage: httpprobe poco|wininet");
        return 2;
    }
    PrintingSink sink;
    client->SetEvents(&sink);

    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        std::vector<std::string> fields = Fields(line);
        Say("> " + fields[0]);
        Execute(*client, sink, fields);
    }
    // Everything was done and the client is gone: what follows is the
    // process's own exit.
    client.reset();
    Say("> end");
    return 0;
}
