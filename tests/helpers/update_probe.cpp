// Drives the update engine's file operations for the integration tests and
// the benchmark, and prints what happened, one fact per line, in UTF-8.
//   update_probe.exe full PACKAGE [--stop-after BYTES] [--again]
//       unpack a whole-game package into the current folder; with
//       --stop-after, signal the stop event once that many bytes streamed
//       by; with --again, unpack the same package once more afterwards
//   update_probe.exe single PACKAGE TARGET   unpack a single-file package
//   update_probe.exe digest FILE...          whole-file digests, timed
//   update_probe.exe attributes FILE [HEX]   set (optional) and show attributes
//   update_probe.exe plan COUNT              plan an index of COUNT files against
//       a complete cached index (written to the current folder), timed
//   update_probe.exe run REPORT_HOST SECONDS [--check] [--stop-when FILE]
//       an update run in the current folder with a window that prints what it
//       is told, ticked every 100 ms until it has finished, handed over to a
//       new launcher, or SECONDS passed, or FILE exists; with --check, then an
//       integrity check run the same way

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "services/registry_keys.h"
#include "services/settings_store.h"
#include "support/gzip/zip_codec.h"
#include "support/random.h"
#include "support/text_utils.h"
#include "support/win_handles.h"
#include "telemetry/report_client.h"
#include "tests/fakes/fixed_hardware_facts.h"
#include "update/file_digest.h"
#include "update/file_updater.h"
#include "update/package_unpacker.h"
#include "update/single_package.h"
#include "update/update_plan.h"

namespace {

void Print(const std::wstring& line)
{
    std::wstring text = line + L"\n";
    int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                     nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size, nullptr,
                          nullptr);
    DWORD wrote = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &wrote,
                nullptr);
}

std::wstring Number(unsigned long long value)
{
    return std::to_wstring(value);
}

double Milliseconds(const LARGE_INTEGER& start)
{
    LARGE_INTEGER now, frequency;
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// Counts only: the writing thread may be terminated inside a callback, so
// the callbacks touch neither the heap nor the C runtime's streams.
class CountingReceiver : public IUnpackEventReceiver {
public:
    CountingReceiver(HANDLE stopEvent, unsigned long long stopAfter) : stopEvent_(stopEvent), stopAfter_(stopAfter)
    {
    }

    void OnUnpackFileDone(const IndexEntry&) override { ++filesDone; }
    void OnUnpackBytes(uint32_t count) override
    {
        bytes += count;
        if (stopAfter_ != 0 && bytes >= stopAfter_)
            ::SetEvent(stopEvent_);
    }
    void OnUnpackBegin(uint64_t totalSize) override
    {
        ++beginCalls;
        beginTotal = totalSize;
    }

    unsigned long long filesDone = 0;
    unsigned long long bytes = 0;
    unsigned long long beginCalls = 0;
    unsigned long long beginTotal = 0;

private:
    HANDLE stopEvent_;
    unsigned long long stopAfter_;
};

bool UnpackAndReport(const std::wstring& package, unsigned long long stopAfter)
{
    UniqueHandle stopEvent(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    CountingReceiver receiver(stopEvent.Get(), stopAfter);
    FileIndex index;
    LARGE_INTEGER start;
    ::QueryPerformanceCounter(&start);
    bool ok = UnpackGamePackage(package, &receiver, stopEvent.Get(), index);
    double elapsed = Milliseconds(start);

    Print(L"result " + std::wstring(ok ? L"ok" : L"failed"));
    Print(L"begin_calls " + Number(receiver.beginCalls));
    Print(L"begin_total " + Number(receiver.beginTotal));
    Print(L"bytes " + Number(receiver.bytes));
    Print(L"files_done " + Number(receiver.filesDone));
    for (size_t i = 0; i < receiver.filesDone && i < index.Entries().size(); ++i)
        Print(L"done " + index.Entries()[i].name);
    Print(L"entries " + Number(index.Entries().size()));
    Print(L"has_hashes " + Number(index.HasHashes()));
    Print(L"checksum_present " + Number(index.ChecksumPresent()));
    wchar_t text[64];
    std::swprintf(text, 64, L"elapsed_ms %.1f", elapsed);
    Print(text);
    return ok;
}

// A small compression and decompression, to show the codec is usable.
bool CodecRoundTrip()
{
    const std::string content(100000, 'x');
    {
        UniqueHandle file(::CreateFileW(L"roundtrip.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD wrote = 0;
        if (!file || !::WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &wrote, nullptr))
            return false;
    }
    try {
        CZip("roundtrip.txt").ToFile("roundtrip.txt.gz");
        CUnzip("roundtrip.txt.gz").ToFile("roundtrip.out");
    } catch (const CZipException&) {
        return false;
    }
    UniqueHandle file(::CreateFileW(L"roundtrip.out", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string back(content.size() + 1, '\0');
    DWORD got = 0;
    return file && ::ReadFile(file.Get(), &back[0], static_cast<DWORD>(back.size()), &got, nullptr) &&
           back.substr(0, got) == content;
}

int Full(const std::vector<std::wstring>& args)
{
    unsigned long long stopAfter = 0;
    bool again = false;
    for (size_t i = 3; i < args.size(); ++i) {
        if (args[i] == L"--stop-after" && i + 1 < args.size())
            stopAfter = std::wcstoull(args[++i].c_str(), nullptr, 10);
        else if (args[i] == L"--again")
            again = true;
        else
            return 2;
    }
    UnpackAndReport(args[2], stopAfter);
    if (again) {
        Print(L"-- again");
        UnpackAndReport(args[2], 0);
    }
    Print(L"codec " + std::wstring(CodecRoundTrip() ? L"ok" : L"failed"));
    return 0;
}

int Single(const std::vector<std::wstring>& args)
{
    if (args.size() != 4)
        return 2;
    if (!RemoveOldTarget(args[3])) {
        Print(L"result target_locked");
        return 0;
    }
    try {
        UnpackSinglePackage(args[2], args[3]);
        Print(L"result ok");
    } catch (const CZipException& e) {
        Print(L"result failed " + std::wstring(e.Text(), e.Text() + std::char_traits<char>::length(e.Text())));
    }
    return 0;
}

int Digest(const std::vector<std::wstring>& args)
{
    static const wchar_t digits[] = L"0123456789abcdef";
    for (size_t i = 2; i < args.size(); ++i) {
        LARGE_INTEGER start;
        ::QueryPerformanceCounter(&start);
        try {
            Md5Hash digest = FileDigest(args[i]);
            double elapsed = Milliseconds(start);
            std::wstring hex;
            for (uint8_t b : digest) {
                hex += digits[b >> 4];
                hex += digits[b & 15];
            }
            wchar_t text[64];
            std::swprintf(text, 64, L" %.1f", elapsed);
            Print(L"digest " + hex + text);
        } catch (const std::exception& e) {
            Print(L"error " + std::wstring(e.what(), e.what() + std::char_traits<char>::length(e.what())));
        }
    }
    return 0;
}

int Attributes(const std::vector<std::wstring>& args)
{
    if (args.size() == 4)
        ::SetFileAttributesW(args[2].c_str(), std::wcstoul(args[3].c_str(), nullptr, 16));
    wchar_t text[32];
    std::swprintf(text, 32, L"attributes %lx", ::GetFileAttributesW(args[2].c_str()));
    Print(text);
    return 0;
}

// Names spread over folders like a game's; the cached index spells them in
// upper case and lists them backwards, so no lookup finds its entry by luck.
int Plan(const std::vector<std::wstring>& args)
{
    const unsigned long count = std::wcstoul(args[2].c_str(), nullptr, 10);
    FileIndex server, cached;
    for (unsigned long i = 0; i < count; ++i) {
        IndexEntry entry;
        entry.name = L"Data\\Folder" + Number(i % 100) + L"\\File" + Number(i) + L".bin";
        entry.size = 1000 + i;
        entry.packageSize = 500 + i;
        entry.md5[0] = static_cast<uint8_t>(i);
        server.Append(entry);
    }
    for (auto entry = server.Entries().rbegin(); entry != server.Entries().rend(); ++entry) {
        IndexEntry upper = *entry;
        upper.name = ToUpper(upper.name);
        cached.Append(upper);
    }
    if (server.WriteToFile(L"fileindex.dat") != 0 || cached.WriteToFile(L"cachedindex.dat") != 0)
        return 1;

    LARGE_INTEGER start;
    ::QueryPerformanceCounter(&start);
    FileIndex serverRead, cachedRead;
    serverRead.ReadFromFile(L"fileindex.dat");
    double serverElapsed = Milliseconds(start);
    ::QueryPerformanceCounter(&start);
    cachedRead.ReadFromFile(L"cachedindex.dat");
    double cachedElapsed = Milliseconds(start);
    ::QueryPerformanceCounter(&start);
    CGameFolderDisk disk(L".");
    CountingReceiver progress(nullptr, 0);
    UpdatePlan plan = PlanUpdate(serverRead, &cachedRead, PlanSettings{L"TarnholdLauncher.exe"}, disk, progress);
    double planElapsed = Milliseconds(start);

    Print(L"entries " + Number(serverRead.Entries().size()));
    Print(L"queue " + Number(plan.queue.size()));
    wchar_t text[128];
    std::swprintf(text, 128, L"read_server_ms %.1f read_cached_ms %.1f plan_ms %.1f", serverElapsed, cachedElapsed,
                  planElapsed);
    Print(text);
    return 0;
}

// Prints every call, one line each; the job's worker calls it too.
class ConsoleWindow : public ILauncherWindow {
public:
    void AddLogText(const wchar_t* text) override { Print(L"log " + std::wstring(text)); }
    void SetTotalProgress(DWORD bytesDone) override { Print(L"total_progress " + Number(bytesDone)); }
    void SetFileProgress(DWORD bytesDone) override { Print(L"file_progress " + Number(bytesDone)); }
    void SetTotalSize(DWORD totalBytes, int fileCount) override
    {
        Print(L"total_size " + Number(totalBytes) + L" " + std::to_wstring(fileCount));
    }
    void SetCurrentFile(DWORD fileSize, int fileIndex, const wchar_t* text) override
    {
        Print(L"current_file " + Number(fileSize) + L" " + std::to_wstring(fileIndex) + L" " + text);
    }
    void OnProcessFinished() override
    {
        Print(L"finished");
        ended = true;
    }
    bool IsAutoStartChecked() override { return false; }
    HWND GetWindowHandle() override { return nullptr; }
    void Close() override { Print(L"close"); }
    void SetProcess(ILauncherProcess*) override {}
    ILauncherProcess* GetProcess() override { return nullptr; }
    void SetFileCaption(UINT captionEntry) override { Print(L"file_caption " + Number(captionEntry)); }
    void SetCountCaption(UINT captionEntry) override { Print(L"count_caption " + Number(captionEntry)); }
    void SetStageTitle(UINT titleEntry) override { Print(L"stage_title " + Number(titleEntry)); }
    void SetLocalPage(const wchar_t* path) override { Print(L"local_page " + std::wstring(path)); }
    void SetSpeed(DWORD bytesPerSecond) override { Print(L"speed " + Number(bytesPerSecond)); }

    // The run finished or handed over.
    bool ended = false;
};

// Prints the hand-over instead of starting anything.
class ConsoleHandover : public ILauncherHandover {
public:
    explicit ConsoleHandover(ConsoleWindow& window) : window_(window) {}
    std::wstring CopyPathOf(const std::wstring& launcherPath) override { return launcherPath + L".copy.exe"; }
    void MarkClosing() override
    {
        Print(L"closing");
        closing_ = true;
    }
    bool IsClosing() override { return closing_; }
    bool StartCopy(const std::wstring& copyPath) override
    {
        Print(L"start_copy " + copyPath);
        window_.ended = true;
        return true;
    }

private:
    ConsoleWindow& window_;
    bool closing_ = false;
};

const DWORD kTickMs = 100;
const double kTickSeconds = 0.1;

bool TickUntilEnded(ILauncherProcess& job, ConsoleWindow& window, unsigned long seconds,
                    const std::wstring& stopFile)
{
    for (unsigned long tick = 0; tick < seconds * 1000 / kTickMs && !window.ended; ++tick) {
        if (!stopFile.empty() && ::GetFileAttributesW(stopFile.c_str()) != INVALID_FILE_ATTRIBUTES)
            break;
        ::Sleep(kTickMs);
        job.OnTimer(kTickSeconds);
    }
    return window.ended;
}

int Run(const std::vector<std::wstring>& args)
{
    const unsigned long seconds = std::wcstoul(args[3].c_str(), nullptr, 10);
    bool check = false;
    std::wstring stopFile;
    for (size_t i = 4; i < args.size(); ++i) {
        if (args[i] == L"--check")
            check = true;
        else if (args[i] == L"--stop-when" && i + 1 < args.size())
            stopFile = args[++i];
    }
    // As the launcher's start-up does: the run draws its mirror at random.
    SeedRandom(static_cast<uint32_t>(std::time(nullptr)));
    g_settings.Open(SettingsKeyPath());
    CFixedHardwareFacts facts;
    CReportClient reports(args[2], facts);
    ConsoleWindow window;
    ConsoleHandover handover(window);
    CFileUpdater updater(&window, &reports, &handover, false);
    Print(L"check_before_run " + Number(updater.CheckFiles()));
    updater.Start();
    bool ended = TickUntilEnded(updater, window, seconds, stopFile);
    if (ended && check) {
        window.ended = false;
        Print(L"check " + Number(updater.CheckFiles()));
        ended = TickUntilEnded(updater, window, seconds, stopFile);
    }
    // After a finished run this must report nothing.
    if (!ended)
        Print(L"stopping");
    updater.Stop();
    return 0;
}

} // namespace

int main()
{
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    std::vector<std::wstring> args(argv, argv + argc);
    ::LocalFree(argv);
    if (args.size() >= 3 && args[1] == L"full")
        return Full(args);
    if (args.size() >= 3 && args[1] == L"single")
        return Single(args);
    if (args.size() >= 3 && args[1] == L"digest")
        return Digest(args);
    if (args.size() >= 3 && args[1] == L"attributes")
        return Attributes(args);
    if (args.size() == 3 && args[1] == L"plan")
        return Plan(args);
    if (args.size() >= 4 && args[1] == L"run") {
        const int code = Run(args);
        // The run and everything it made are gone: what follows is the
        // process's own exit.
        Print(L"> end");
        return code;
    }
    std::fputs("usage: update_probe.exe full PACKAGE [--stop-after BYTES] [--again] | single PACKAGE TARGET |"
               " digest FILE... | attributes FILE [HEX] | plan COUNT | run REPORT_HOST SECONDS [--check]"
               " [--stop-when FILE]\n",
               stderr);
    return 2;
}
