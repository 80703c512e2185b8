// Drives the launcher's report client against a report server, for the
// integration tests.
//
//   reportprobe.exe HOST [--cpu HEX] [--adapter HEX] [--no-direct3d] COMMAND [+ COMMAND ...]
//
// Commands (texts as hexadecimal UTF-8, "-" for an empty one):
//   start                                  the run-start sequence
//   finished BYTES                         event 2
//   gamestart                              event 3
//   failure EVENT PERCENT ERRORS BYTES SERVER TEXT    event 10 or 12
//   poll OPTION TEXT                       the refusal poll's answer
//   stop PERCENT ERRORS BYTES              event 11
//   repeat COUNT TEXT                      COUNT failures with one text through the
//                                          update run's limit on repeated reports
//   parallel COUNT TEXT                    COUNT failures from each of two threads at once
//   restart                                restart the report timer
//   survey                                 print the processor and adapter names
//   exit                                   end as the launcher does, giving the queue only
//                                          its grace at exit (otherwise the probe waits
//                                          until every queued report was posted)
// --cpu with --adapter (an adapter with shader model 3.0) or with --no-direct3d
// describes the hardware instead of asking the platform.
//
// The settings store is opened on the launcher's key, as at start-up. After
// the commands the probe prints "shown N": how often a window of its thread
// was shown, which must stay 0 since reports never show anything. (Direct3D
// creates hidden windows of its own; they do not count.)

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "services/registry_keys.h"
#include "services/settings_store.h"
#include "support/win_handles.h"
#include "telemetry/failure_report_limit.h"
#include "telemetry/hardware_survey.h"
#include "telemetry/report_client.h"
#include "tests/fakes/fixed_hardware_facts.h"
#include "tests/helpers/utf8_text.h"

namespace {

int g_shownWindows = 0;

LRESULT CALLBACK CountShownWindows(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION) {
        if (message->message == WM_SHOWWINDOW && message->wParam)
            ++g_shownWindows;
        else if (message->message == WM_WINDOWPOSCHANGED &&
                 (reinterpret_cast<const WINDOWPOS*>(message->lParam)->flags & SWP_SHOWWINDOW))
            ++g_shownWindows;
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

struct LocalTraits {
    using Type = LPWSTR*;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type p) { return p != nullptr; }
    static void Close(Type p) { ::LocalFree(p); }
};

struct HookTraits {
    using Type = HHOOK;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { ::UnhookWindowsHookEx(h); }
};

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

int Int(const std::wstring& text)
{
    return std::stoi(text);
}

DWORD Dword(const std::wstring& text)
{
    return static_cast<DWORD>(std::stoul(text));
}

RunFigures Figures(const std::vector<std::wstring>& args, size_t first)
{
    RunFigures figures;
    figures.percent = Int(args[first]);
    figures.errors = Int(args[first + 1]);
    figures.bytes = Dword(args[first + 2]);
    return figures;
}

// Far beyond any report's deadline: only stops a probe that hangs.
const DWORD kDrainMs = 600000;
bool g_drain = true;

bool Run(CReportClient& reports, IHardwareFacts& facts, const std::vector<std::wstring>& args)
{
    const std::wstring& command = args[0];
    if (command == L"exit") {
        g_drain = false;
    } else if (command == L"start") {
        reports.SendStartReports();
    } else if (command == L"finished" && args.size() == 2) {
        reports.SendUpdateFinished(Dword(args[1]));
    } else if (command == L"gamestart") {
        reports.SendGameStart();
    } else if (command == L"failure" && args.size() == 7) {
        reports.SendFailure(Int(args[1]), Figures(args, 2), Int(args[5]), WideFromHex(Narrow(args[6])));
    } else if (command == L"poll" && args.size() == 3) {
        reports.SetPollAnswer(Int(args[1]), WideFromHex(Narrow(args[2])));
    } else if (command == L"stop" && args.size() == 4) {
        reports.SendStop(Figures(args, 1));
    } else if (command == L"repeat" && args.size() == 3) {
        CFailureReportLimit limit;
        std::wstring text = WideFromHex(Narrow(args[2]));
        RunFigures figures;
        for (int i = 0; i < Int(args[1]); ++i) {
            figures.errors = i + 1;
            if (limit.ShouldReport(text))
                reports.SendFailure(kEventRequestFailed, figures, 0, text);
        }
    } else if (command == L"parallel" && args.size() == 3) {
        // The worker's failures and the window thread's reports share one client.
        int count = Int(args[1]);
        std::wstring text = WideFromHex(Narrow(args[2]));
        auto send = [&reports, count, &text](int option) {
            RunFigures figures;
            for (int i = 0; i < count; ++i) {
                figures.errors = i + 1;
                reports.SendFailure(kEventRequestFailed, figures, option, text);
            }
        };
        std::thread other(send, 1);
        send(0);
        other.join();
    } else if (command == L"restart") {
        reports.RestartTimer();
    } else if (command == L"survey") {
        std::printf("cpu %s\ngfx %s\n", GetProcessorName(facts).c_str(), GetAdapterName(facts).c_str());
    } else {
        return false;
    }
    return true;
}

int RunCommands(const std::vector<std::wstring>& args)
{
    CFixedHardwareFacts givenFacts;
    CPlatformHardwareFacts platformFacts;
    IHardwareFacts* facts = &platformFacts;
    size_t next = 1;
    for (; next + 1 < args.size() && args[next].compare(0, 2, L"--") == 0; ++next) {
        facts = &givenFacts;
        if (args[next] == L"--no-direct3d")
            givenFacts.adapter = AdapterFacts();
        else if (args[next] == L"--cpu")
            givenFacts.brand = Unhex(Narrow(args[++next]));
        else if (args[next] == L"--adapter")
            givenFacts.SetAdapter(Unhex(Narrow(args[++next])), 3, 0, 3, 0);
    }

    g_settings.Open(SettingsKeyPath());
    CReportClient reports(args[0], *facts);
    ScopedResource<HookTraits> hook(::SetWindowsHookExW(WH_CALLWNDPROC, CountShownWindows, nullptr, ::GetCurrentThreadId()));

    std::vector<std::wstring> command;
    for (size_t i = next; i <= args.size(); ++i) {
        if (i < args.size() && args[i] != L"+") {
            command.push_back(args[i]);
            continue;
        }
        if (command.empty())
            continue;
        if (!Run(reports, *facts, command)) {
            std::fprintf(stderr, "bad command: %ls\n", command[0].c_str());
            return 2;
        }
        command.clear();
    }
    if (g_drain && !reports.WaitUntilSent(kDrainMs)) {
        std::fprintf(stderr, "reports still queued\n");
        return 1;
    }
    std::printf("shown %d\n", g_shownWindows);
    return 0;
}

} // namespace

int main()
{
    int count = 0;
    ScopedResource<LocalTraits> argv(::CommandLineToArgvW(::GetCommandLineW(), &count));
    std::vector<std::wstring> args(argv.Get() + 1, argv.Get() + count);
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: reportprobe HOST [--cpu HEX] [--adapter HEX] [--no-direct3d] COMMAND ...\n");
        return 2;
    }
    const int code = RunCommands(args);
    // The report client and its thread are gone: what follows is the
    // process's own exit.
    if (code == 0)
        std::puts("> end");
    return code;
}
